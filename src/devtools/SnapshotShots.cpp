#include "devtools/Snapshot.h"

#include "core/quickadd/QuickAddModel.h"
#include "core/settings/AppSettings.h"
#include "core/store/EventStore.h"
#include "core/store/MeetingAlert.h"
#include "devtools/SampleData.h"
#include "ui/controls/Motion.h"
#include "ui/notch/NotchState.h"
#include "ui/panel/EventDetailView.h"
#include "ui/panel/ExpandedView.h"
#include "ui/panel/NotchRootView.h"
#include "ui/quickadd/QuickAddView.h"
#include "ui/settings/GoogleSettings.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QVBoxLayout>
#include <QWidget>

namespace Snapshot {

namespace {

// One picture of the panel: the root view framed to `panel`, centred at the top of a `canvas` of
// the desktop's grey with a lighter strip where the top bar would be.
struct Shot {
    QString name;
    QSize panel;
    QSize canvas;
    bool expanded = false;
    bool pinned = false;
    bool quickAdd = false;
};

// Where the pictured panel hangs: a 1710 × 1107 screen with a 185 × 33 camera notch, so that every
// picture has the same size whatever the machine.
NotchGeometry geometry() {
    return {QRectF(0, 0, 1710, 1107), QSizeF(185, 33), true};
}

// The events the shots show, from today's events of the store.
struct Picks {
    // The first event with guests: the detail, and (as an event of `account`'s primary Google
    // calendar) the edit and the delete question. Without one the detail shows the agenda and the
    // other two are left out.
    std::optional<CalEvent> detail;
    std::optional<CalEvent> edit;
    // The first event with a meeting link that has not started: the alert. Without one, no alert.
    std::optional<CalEvent> alert;
};

Picks pick(const QList<CalEvent>& today, const QDateTime& now, const QString& account) {
    Picks picks;
    for (const CalEvent& event : today) {
        if (!picks.detail && !event.attendees.isEmpty()) {
            picks.detail = event;
            // Made a Google event, so that it offers what a Google meeting offers.
            CalEvent edit = event;
            edit.googleAccount = account;
            edit.googleCalendarID = QStringLiteral("primary");
            edit.googleEventID = QStringLiteral("sample");
            picks.edit = edit;
        }
        if (!picks.alert && event.start > now && event.meetingURL())
            picks.alert = event;
    }
    return picks;
}

// The line of the "quickadd-meeting" shot: a guest by first name and one by an address that the
// sample day does not know, so that one becomes a known chip and the other a new one.
QString meetingLine() {
    return QStringLiteral("Design sync with Ondrea and jules.berg@example.net tomorrow");
}

// What a shot needs around it beyond its panel state.
enum class Setup {
    none,
    detail,        // the detail event selected
    meetingLine,   // quick add's line becomes the meeting line, for this shot and the rest
    people,        // quick add opens its people field
    edit,          // quick add edits the edit event
    confirmDelete, // the detail of the edit event asks whether to delete it
    alert,         // the store shows the alert of the alert event
};

struct PlannedShot {
    Shot shot;
    Setup setup;
};

const QList<PlannedShot>& plan() {
    static const QList<PlannedShot> shots = [] {
        const QSize panel(672, 446);
        const QSize canvas(712, 486);
        return QList<PlannedShot>{
            {{QStringLiteral("peek"), {497, 33}, {680, 73}}, Setup::none},
            {{QStringLiteral("expanded"), panel, canvas, true}, Setup::none},
            {{QStringLiteral("detail"), panel, canvas, true, true}, Setup::detail},
            {{QStringLiteral("quickadd"), panel, canvas, true, true, true}, Setup::none},
            {{QStringLiteral("quickadd-meeting"), panel, canvas, true, true, true}, Setup::meetingLine},
            {{QStringLiteral("quickadd-people"), panel, canvas, true, true, true}, Setup::people},
            {{QStringLiteral("edit"), panel, canvas, true, true, true}, Setup::edit},
            {{QStringLiteral("detail-delete"), panel, canvas, true, true}, Setup::confirmDelete},
            {{QStringLiteral("alert"), {677, 115}, {717, 155}}, Setup::alert},
        };
    }();
    return shots;
}

// The desktop behind the panel: a mid grey with the lighter top bar the panel hangs from.
class Canvas : public QWidget {
public:
    static constexpr int topBarHeight = 33;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), QColor::fromRgbF(0.82f, 0.82f, 0.82f));
        painter.fillRect(QRect(0, 0, width(), topBarHeight), QColor::fromRgbF(0.93f, 0.93f, 0.93f));
    }
};

// While it lives, the detail and quick add that the expanded panel makes start as the snapshot's
// values say: the detail on its delete question, quick add with the line or the edited event and
// the people field. Quick add's static form leaves its first state to the renderer.
class BodyViewsForShots {
public:
    BodyViewsForShots()
        : m_saved(ExpandedView::bodyViews()) {
        ExpandedView::BodyViews& views = ExpandedView::bodyViews();
        views.makeDetail = [](NotchState& state, EventStore& store, const CalEvent& event,
                              QWidget* parent) -> QWidget* {
            EventDetailView::Options options;
            options.confirmDelete = Snapshot::detailConfirmDelete();
            return new EventDetailView(state, store, event, std::move(options), parent);
        };
        views.makeQuickAdd = [make = m_saved.makeQuickAdd](NotchState& state, EventStore& store,
                                                           AppSettings& settings, QWidget* parent) {
            QWidget* view = make(state, store, settings, parent);
            auto* quickAdd = qobject_cast<QuickAddView*>(view);
            if (QuickAddModel* model = quickAdd ? quickAdd->model() : nullptr) {
                if (const std::optional<CalEvent>& event = Snapshot::editingEvent())
                    model->load(*event);
                else
                    model->setText(Snapshot::quickAddText());
                if (Snapshot::quickAddShowPeople())
                    model->toggleInvite();
            }
            return view;
        };
    }
    ~BodyViewsForShots() { ExpandedView::bodyViews() = m_saved; }
    BodyViewsForShots(const BodyViewsForShots&) = delete;
    BodyViewsForShots& operator=(const BodyViewsForShots&) = delete;

private:
    ExpandedView::BodyViews m_saved;
};

// The widget drawn off screen at scale 2 and encoded as PNG; nothing when either step fails.
std::optional<QByteArray> png(QWidget& widget, const QColor& background) {
    widget.setAttribute(Qt::WA_DontShowOnScreen);
    widget.show();
    // Layouts and polish wait on the event loop; the picture shows them done.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    QImage image(widget.size() * 2, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return std::nullopt;
    image.setDevicePixelRatio(2);
    image.fill(background);
    widget.render(&image);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG"))
        return std::nullopt;
    return bytes;
}

// Writes the whole file or leaves the one there untouched; the reason when it could not.
std::optional<QString> write(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return file.errorString();
    return std::nullopt;
}

// Writes one picture and says how it went; false when it failed.
bool save(const QString& name, const std::optional<QByteArray>& bytes, const QString& path,
          const QString& shownAs, const std::function<void(const QString&)>& print) {
    if (!bytes) {
        print(QStringLiteral("snapshot: failed to render ") + name);
        return false;
    }
    if (const std::optional<QString> error = write(path, *bytes)) {
        print(QStringLiteral("snapshot: failed to write ") + path + QStringLiteral(": ") + *error);
        return false;
    }
    print(QStringLiteral("snapshot: wrote ") + shownAs);
    return true;
}

bool panelShot(const Shot& shot, const std::optional<CalEvent>& selected, const QDir& dir, EventStore& store,
               AppSettings& settings, const std::function<void(const QString&)>& print) {
    // A state of its own for every shot: none sees another's.
    NotchState state(geometry());
    state.setExpanded(shot.expanded);
    state.setPinned(shot.pinned);
    state.setSelectedEvent(selected);
    state.setQuickAdd(shot.quickAdd);

    Canvas canvas;
    canvas.resize(shot.canvas);
    auto* root = new NotchRootView(state, store, settings, &canvas);
    root->setGeometry(QRect(QPoint((shot.canvas.width() - shot.panel.width()) / 2, 0), shot.panel));
    const QString path = dir.filePath(shot.name + QStringLiteral(".png"));
    return save(shot.name, png(canvas, Qt::transparent), path, path, print);
}

bool settingsShot(const QDir& dir, EventStore& store, AppSettings& settings,
                  const std::function<void(const QString&)>& print) {
    QWidget frame;
    frame.resize(560, 520);
    auto* layout = new QVBoxLayout(&frame);
    layout->setContentsMargins(0, 0, 0, 0);
    // The frame keeps its size; a window constraint would only make the off-screen platform complain.
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    // Nothing in the picture opens anything.
    layout->addWidget(new GoogleSettings({settings, store, [](const QUrl&) { return false; }, geometry}));
    const QString name = QStringLiteral("settings-google");
    const QString file = name + QStringLiteral(".png");
    return save(name, png(frame, frame.palette().color(QPalette::Window)), dir.filePath(file), file, print);
}

} // namespace

int render(const QDir& dir, const QDateTime& now, EventStore& store, AppSettings& settings,
           const std::function<void(const QString&)>& print) {
    Motion::setEnabled(false);
    // A folder that cannot be made shows as every picture failing to be written.
    QDir().mkpath(dir.absolutePath());
    store.installSampleEvents(SampleData::events(now, store.cal()));
    // The sample store's one Google calendar, so that the edit has somewhere to be saved.
    const std::optional<EventStore::MeetingTarget> target = store.defaultMeetingTarget();
    const Picks picks =
        pick(store.events(now), now, target ? target->account : QStringLiteral("you@example.com"));
    const BodyViewsForShots bodyViews;

    int failures = 0;
    for (const PlannedShot& planned : plan()) {
        std::optional<CalEvent> selected;
        switch (planned.setup) {
        case Setup::none:
            break;
        case Setup::detail:
            selected = picks.detail;
            break;
        case Setup::meetingLine:
            Snapshot::setQuickAddText(meetingLine());
            break;
        case Setup::people:
            Snapshot::setQuickAddShowPeople(true);
            break;
        case Setup::edit:
            if (!picks.edit)
                continue;
            selected = picks.edit;
            Snapshot::setEditingEvent(picks.edit);
            break;
        case Setup::confirmDelete:
            if (!picks.edit)
                continue;
            selected = picks.edit;
            Snapshot::setDetailConfirmDelete(true);
            break;
        case Setup::alert:
            if (!picks.alert)
                continue;
            store.showAlert({*picks.alert, MeetingAlert::Kind::imminent, now});
            break;
        }
        if (!panelShot(planned.shot, selected, dir, store, settings, print))
            ++failures;
        Snapshot::setQuickAddShowPeople(false);
        Snapshot::setEditingEvent(std::nullopt);
        Snapshot::setDetailConfirmDelete(false);
        if (planned.setup == Setup::alert)
            store.dismissAlert();
    }
    if (!settingsShot(dir, store, settings, print))
        ++failures;
    return failures;
}

} // namespace Snapshot
