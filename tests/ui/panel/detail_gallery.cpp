// A developer's picture book, not a test: renders the event detail view in its states inside the
// expanded panel's 600 × 410 silhouette, at scale 2, for looking at.
// Usage: detail_gallery OUTPUT_FOLDER (run with QT_QPA_PLATFORM=offscreen)

#include "DetailWorld.h"

#include "devtools/SampleData.h"
#include "support/TestEvents.h"
#include "ui/controls/IconButton.h"
#include "ui/controls/Motion.h"
#include "ui/controls/PillButton.h"
#include "ui/controls/Theme.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTest>

#include <cstdio>

namespace {

constexpr int notchHeight = 32;

// The expanded silhouette with a stand-in header band, and the view where the panel puts it.
class PanelFrame : public QWidget {
public:
    PanelFrame() { resize(600, 410); }

    void host(EventDetailView* view) {
        view->setParent(this);
        view->setGeometry(30, notchHeight, 540, 410 - 16 - notchHeight);
        view->show();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()), 22, 22);
        p.fillPath(shape, Qt::black);
        p.setFont(Theme::uiFont(13, QFont::DemiBold));
        p.setPen(Theme::white());
        p.drawText(QRectF(30, 2, 200, 16), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("Wednesday, Mar 4"));
        p.setFont(Theme::uiFont(10.5));
        p.setPen(Theme::white(0.55));
        p.drawText(QRectF(30, 17, 200, 13), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("7 events"));
        // The notch itself.
        p.fillRect(QRectF(210, 0, 180, notchHeight), QColor(40, 40, 40));
    }
};

void save(PanelFrame& frame, const QString& folder, const QString& name) {
    frame.show();
    QTest::qWait(20);
    QImage image(QSize(640, 450) * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(QColor(70, 70, 78));
    frame.render(&image, QPoint(20, 20), QRegion(), QWidget::DrawChildren);
    const QString path = QDir(folder).filePath(name + QStringLiteral(".png"));
    image.save(path);
    std::printf("%s\n", qPrintable(path));
}

CalEvent sample(const QList<CalEvent>& events, const QString& prefix) {
    for (const CalEvent& event : events) {
        if (event.title.startsWith(prefix))
            return event;
    }
    return {};
}

QAbstractButton* button(QWidget* view, const QString& name) {
    for (QAbstractButton* b : view->findChildren<QAbstractButton*>()) {
        if (b->accessibleName() == name || b->text() == name)
            return b;
    }
    return nullptr;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: detail_gallery OUTPUT_FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    Motion::setEnabled(false);

    DetailWorld world;
    const QList<CalEvent> events = SampleData::events(world.clock.now(), world.store->cal());

    // A Google meeting the user organises, with 13 attendees, the Zoom link as its location and notes.
    CalEvent review = sample(events, QStringLiteral("Design review"));
    review.googleAccount = DetailWorld::ada;
    review.googleCalendarID = DetailWorld::ada;
    review.googleEventID = QStringLiteral("review");
    review.webLink = QUrl(QStringLiteral("https://www.google.com/calendar/event?eid=cmV2aWV3"));
    const QStringList names = {QStringLiteral("Lio Brandt"), QStringLiteral("sam.okafor@example.com"),
                               QStringLiteral("Tove Lind"),  QStringLiteral("Ravi Menon"),
                               QStringLiteral("Jun Park"),   QStringLiteral("Elif Kaya"),
                               QStringLiteral("Bea Santos"), QStringLiteral("marta@example.org"),
                               QStringLiteral("Nils Aberg")};
    const Attendee::Status statuses[] = {Attendee::Status::accepted, Attendee::Status::declined,
                                         Attendee::Status::pending, Attendee::Status::accepted,
                                         Attendee::Status::tentative};
    for (int i = 0; i < names.size(); ++i)
        review.attendees << TestEvents::guest(names[i], QString(), statuses[i % 5]);
    {
        PanelFrame frame;
        frame.host(world.view(review).release());
        save(frame, folder, QStringLiteral("google-13-attendees"));
    }
    {
        PanelFrame frame;
        frame.host(world.view(review, true).release());
        save(frame, folder, QStringLiteral("delete-confirmation"));
    }

    // The standup: a local event starting in 8 minutes, its Meet link in the notes.
    const CalEvent standup = sample(events, QStringLiteral("Standup"));
    {
        PanelFrame frame;
        frame.host(world.view(standup).release());
        save(frame, folder, QStringLiteral("local-event"));
    }

    // A Notion page with its icon, status and edit time; and a Notion task.
    {
        PanelFrame frame;
        frame.host(world.view(sample(events, QStringLiteral("Launch week"))).release());
        save(frame, folder, QStringLiteral("notion-page"));
    }

    // An invitation from someone else, declined: held while the call runs, then failing.
    const CalEvent invite = world.googleMeeting(QStringLiteral("offsite"), QStringLiteral("Offsite planning"),
                                                QStringLiteral("2026-03-04 09:45"), true);
    world.google->open = false;
    world.google->failWith = QStringLiteral("Google refused the change (HTTP 403): the event is read-only");
    {
        PanelFrame frame;
        auto* view = world.view(invite).release();
        frame.host(view);
        button(view, QStringLiteral("Decline"))->click();
        save(frame, folder, QStringLiteral("decline-confirmation"));
        for (QAbstractButton* b : view->findChildren<PillButton*>()) {
            if (b->text() == QStringLiteral("Decline") && b->isVisible())
                b->click();
        }
        QTest::qWait(20);
        save(frame, folder, QStringLiteral("decline-busy"));
        world.google->release();
        QTest::qWait(20);
        save(frame, folder, QStringLiteral("decline-failed"));
    }
    world.google->failWith.reset();
    world.google->open = true;

    // A long title that wraps, a long address, an organiser without attendees, a running event and a
    // message from the store.
    CalEvent workshop = TestEvents::timed(
        QStringLiteral("workshop"),
        QStringLiteral("Quarterly planning workshop with the platform, design "
                       "and customer success teams (bring laptops)"),
        world.at(QStringLiteral("2026-03-04 09:30")), world.at(QStringLiteral("2026-03-04 12:15")));
    workshop.organizer = QStringLiteral("Ondrea Vask");
    workshop.organizerIsMe = false;
    workshop.calendarName = QStringLiteral("Team");
    workshop.location = QStringLiteral("Forge Athletics conference centre, Hall B, Köpenicker Straße 154a, "
                                       "10997 Berlin-Kreuzberg, second floor");
    workshop.notes = QStringLiteral("Agenda\r\n\r\n\r\n\r\n1. Review\r\n2. Plan\r\n\r\n\r\n");
    {
        PanelFrame frame;
        frame.host(world.view(workshop).release());
        world.store->showToast(QStringLiteral("Declined · Ondrea Vask was notified"));
        save(frame, folder, QStringLiteral("live-toast-long-title"));
    }

    // A local invitation asking to be removed, with more notes than fit: the details scroll and the
    // question wraps.
    CalEvent local = world.googleMeeting(QStringLiteral("sync"), QStringLiteral("Vendor sync"),
                                         QStringLiteral("2026-03-04 14:00"), true);
    local.source = EventSource::calendar;
    local.calendarName = QStringLiteral("Home");
    local.ekIdentifier = QStringLiteral("home/sync.ics#sync");
    local.location = QStringLiteral("Room 4.12");
    QStringList lines;
    for (int i = 1; i <= 16; ++i)
        lines << QStringLiteral("%1. Item number %1 of the long agenda that the vendor sent").arg(i);
    local.notes = lines.join(u'\n');
    {
        PanelFrame frame;
        auto* view = world.view(local).release();
        frame.host(view);
        button(view, QStringLiteral("Remove from my calendar"))->click();
        save(frame, folder, QStringLiteral("local-remove-overflow"));
    }

    // A Notion task: icon, status, a time and its edit time.
    {
        PanelFrame frame;
        frame.host(world.view(sample(events, QStringLiteral("Write "))).release());
        save(frame, folder, QStringLiteral("notion-task"));
    }
    return 0;
}
