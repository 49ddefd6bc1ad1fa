#pragma once

#include "core/model/CalEvent.h"
#include "ui/notch/NotchGeometry.h"

#include <QDir>
#include <QList>
#include <QSize>
#include <QString>

#include <functional>
#include <optional>

class AppSettings;
class EventStore;

// The snapshot mode's pictures: which shots there are, which sample events they show, and how each
// is drawn and written.
namespace SnapshotShots {

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

// The nine panel shots, in the order they are made.
const QList<Shot>& panelShots();

// Where the pictured panel hangs: a 1710 × 1107 screen with a 185 × 33 camera notch, so that every
// picture has the same size whatever the machine.
NotchGeometry geometry();

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
Picks pick(const QList<CalEvent>& today, const QDateTime& now, const QString& account);

// The line of the "quickadd-meeting" shot: a guest by first name and one by an address that the
// sample day does not know, so that one becomes a known chip and the other a new one.
QString meetingLine();

// Draws and writes every shot, printing one line for each through `print`; answers how many failed.
int renderAll(const QDir& dir, const QDateTime& now, EventStore& store, AppSettings& settings,
              const std::function<void(const QString&)>& print);

} // namespace SnapshotShots
