// A developer's picture book, not a test: renders quick add in its states inside the 600 × 410
// black panel to PNG files at scale 2, for looking at. Usage: quickadd_gallery OUTPUT_FOLDER
#include "../../core/quickadd/QuickAddFakes.h"
#include "QuickAddBody.h"

#include "core/model/ProcessArguments.h"
#include "core/quickadd/QuickAddModel.h"
#include "ui/controls/Motion.h"
#include "ui/notch/NotchState.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QTest>

#include <cstdio>

namespace {

QString folder;

void shoot(QWidget& body, const QString& name) {
    // Layouts settle over a few turns of the event loop (a child's request reaches its parent next).
    for (int i = 0; i < 4; ++i)
        QCoreApplication::processEvents();
    QImage image(body.size() * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(QColor(40, 40, 48));
    body.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    const QString path = QDir(folder).filePath(name + QStringLiteral(".png"));
    if (qEnvironmentVariableIsSet("GALLERY_DEBUG")) {
        for (QWidget* w : body.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            for (QWidget* c : w->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
                if (c->isVisible())
                    std::printf("  %s %s y=%d h=%d hint=%d min=%d\n", c->metaObject()->className(),
                                qPrintable(c->objectName()), c->y(), c->height(), c->sizeHint().height(),
                                c->minimumSizeHint().height());
    }
    if (qEnvironmentVariableIsSet("GALLERY_DEBUG"))
        std::printf("focus: %s\n", QApplication::focusWidget()
                                       ? qPrintable(QApplication::focusWidget()->accessibleName())
                                       : "none");
    image.save(path);
    // GALLERY_CROP="x,y,w,h" also saves that part of each picture four times larger, for the pixels.
    if (const QStringList crop = qEnvironmentVariable("GALLERY_CROP").split(u','); crop.size() == 4) {
        const QRect part(crop[0].toInt() * 2, crop[1].toInt() * 2, crop[2].toInt() * 2, crop[3].toInt() * 2);
        image.copy(part)
            .scaled(part.size() * 2)
            .save(QDir(folder).filePath(name + QStringLiteral("-crop.png")));
    }
    std::printf("%s\n", qPrintable(path));
}

struct Scene {
    explicit Scene(qreal notch = 32)
        : state(NotchGeometry{QRectF(0, 0, 1512, 982), QSizeF(180, notch), false})
        , body(state, env, notch) {
        body.show();
    }
    void open(const QString& prefill = {}) {
        state.setQuickAddPrefill(prefill);
        state.setQuickAdd(true);
        QCoreApplication::processEvents();
    }
    void edit(const CalEvent& event) {
        state.setEditingEvent(event);
        state.setQuickAdd(true);
        QCoreApplication::processEvents();
    }
    QuickAddModel& model() { return *body.view->model(); }
    void type(const QString& text) {
        QLineEdit* field = body.view->mainField();
        field->setFocus();
        QTest::keyClicks(field, text);
    }

    FakeEnv env;
    NotchState state;
    QuickAddBody body;
};

CalEvent googleMeeting() {
    CalEvent e = FakeEnv::event("g:ada@corp.io:ada@corp.io:rev", "Design review", "2026-03-05 14:00",
                                "2026-03-05 15:00");
    e.source = EventSource::google;
    e.googleAccount = QStringLiteral("ada@corp.io");
    e.googleCalendarID = QStringLiteral("ada@corp.io");
    e.url = QUrl(QStringLiteral("https://meet.google.com/abc-defg-hij"));
    Attendee me{QStringLiteral("Ada"), Attendee::Status::accepted, true, true, QStringLiteral("ada@corp.io")};
    Attendee ondrea{QStringLiteral("Ondrea Lindqvist"), Attendee::Status::accepted, false, false,
                    QStringLiteral("ondrea@corp.io")};
    Attendee pim{QStringLiteral("pim@corp.io"), Attendee::Status::pending, false, false,
                 QStringLiteral("pim@corp.io")};
    e.attendees = {me, ondrea, pim};
    return e;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: quickadd_gallery OUTPUT_FOLDER\n");
        return 2;
    }
    folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    Motion::setEnabled(false);

    // The snapshot mode's static variant, seeded through the model as the snapshot renderer does.
    if (ProcessArguments::isSnapshotMode()) {
        Scene s;
        s.open();
        s.model().setText(QStringLiteral("Coffee with Oskel today 3:08 pm for 45 min"));
        s.model().toggleInvite();
        shoot(s.body, "snapshot-people");
        Scene e;
        e.open();
        e.model().load(googleMeeting());
        shoot(e.body, "snapshot-edit");
        return 0;
    }

    {
        Scene s;
        s.open();
        shoot(s.body, "01-empty");
        s.type("Standup tomorrow 9:30am");
        shoot(s.body, "02-plain");
        s.model().toggleCalendars();
        shoot(s.body, "03-destinations");
    }
    {
        Scene s;
        s.open();
        s.type("Design sync with Ondrea and bob@corp.io thu 2:30-3:30pm");
        shoot(s.body, "04-meeting");
    }
    {
        Scene s;
        s.open();
        s.type("Coffee with Ondrea");
        shoot(s.body, "05-auto-slot");
        s.model().toggleInvite();
        QTest::keyClicks(s.body.view->peopleField(), "o");
        shoot(s.body, "06-people");
        QTest::keyClicks(s.body.view->peopleField(), "skel@corp.io");
        shoot(s.body, "06b-people-address");
    }
    {
        Scene s;
        s.open();
        s.type("Offsite fri all day");
        s.env.writeError =
            QStringLiteral("Couldn’t save “Offsite” to Work: the calendar folder can’t be written.");
        s.model().add();
        shoot(s.body, "07-error");
    }
    {
        Scene s;
        s.env.holdWrites = true;
        s.open();
        s.type("Sync with bob@corp.io tomorrow 3pm");
        s.model().add();
        shoot(s.body, "08-sending");
        s.env.release();
    }
    {
        Scene s;
        s.env.targets.clear();
        s.open();
        s.type("Sync with bob@corp.io tomorrow 3pm");
        shoot(s.body, "09-google-notice");
    }
    {
        Scene s;
        s.edit(googleMeeting());
        shoot(s.body, "10-edit");
        QLineEdit* when = s.body.view->whenField();
        when->selectAll();
        QTest::keyClicks(when, "fri 4-5pm");
        s.model().remove(Person(QStringLiteral("pim@corp.io")));
        shoot(s.body, "11-edit-changed");
        when->selectAll();
        QTest::keyClicks(when, "someday");
        shoot(s.body, "12-edit-unreadable");
    }
    {
        Scene s(40);
        s.open();
        s.type("Design sync with Ondrea and bob@corp.io thu 2:30-3:30pm");
        s.env.writeError =
            QStringLiteral("Google Calendar refused the event: you need writer access to this calendar.");
        s.model().add();
        QCoreApplication::processEvents();
        shoot(s.body, "13-tall-notch");
    }
    {
        Scene s(40);
        s.open();
        s.type("Quarterly planning with Ondrea and bob@corp.io thu 3pm");
        s.model().toggleInvite();
        QLineEdit* people = s.body.view->peopleField();
        QTest::keyClicks(people, "zed");
        QTest::keyClick(people, Qt::Key_Return);
        for (int i = 0; i < 3; ++i)
            QTest::keyClick(people, Qt::Key_Backspace);
        shoot(s.body, "14-people-crowded");
    }
    {
        Scene s;
        for (int i = 0; i < 8; ++i)
            s.env.agenda << FakeEnv::event(
                QStringLiteral("x%1").arg(i),
                QStringLiteral("A rather long meeting title number %1 that goes on").arg(i),
                QStringLiteral("2026-03-05 1%1:00").arg(i), QStringLiteral("2026-03-05 1%1:45").arg(i));
        s.open();
        s.type("Long lunch with Ondrea, Oskel, Pim and bob@corp.io and alice@example.org and "
               "carol@example.org thu 1pm");
        shoot(s.body, "15-many-guests");
    }
    {
        Scene s;
        LocalCalendar work = s.env.calendars.first();
        s.env.editedCalendar = work;
        CalEvent e = FakeEnv::event("local-1", "Dentist", "2026-03-05 08:00", "2026-03-05 08:45");
        s.edit(e);
        s.env.writeError =
            QStringLiteral("Couldn’t save “Dentist” to Work: the calendar folder can’t be written.");
        QLineEdit* when = s.body.view->whenField();
        when->selectAll();
        QTest::keyClicks(when, "fri 9am");
        s.model().add();
        shoot(s.body, "16-edit-local-error");
    }
    return 0;
}
