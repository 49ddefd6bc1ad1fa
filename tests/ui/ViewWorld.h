#pragma once

#include "core/settings/AppSettings.h"
#include "core/store/EventStore.h"
#include "support/ManualClock.h"
#include "support/TempHome.h"
#include "ui/notch/NotchState.h"
#include "ui/panel/NotchRootView.h"

#include <QImage>
#include <QList>
#include <QUrl>

#include <memory>

class ExpandedView;

// A store whose sources' state a test may set directly.
class ViewStore : public EventStore {
public:
    using EventStore::EventStore;
    using EventStore::setConnectingGoogle;
    using EventStore::setGoogleError;
    using EventStore::setGoogleLastSync;
    using EventStore::setNotionError;
    using EventStore::setNotionLastSync;
    using EventStore::setSyncingGoogle;
    using EventStore::setSyncingNotion;
};

// The panel's root view as the snapshot mode has it: a state of its own, a store on a manual clock
// at 10:00 on Wednesday 4 March 2026 (UTC), settings in a temporary home, no controller and no
// window. The calendar folder exists and is readable unless `calendarFolder` says otherwise.
class ViewWorld {
public:
    enum class Folder { readable, missing, unreadable };

    explicit ViewWorld(Folder calendarFolder = Folder::readable, QSizeF notch = {180, 24});
    ~ViewWorld();

    // The made-up day of the snapshots, around the clock's now.
    void useSampleDay();
    // A day of `count` half-hour meetings from 8:00, some with links, some from Notion.
    void useBusyDay(int count);
    void setEvents(const QList<CalEvent>& events);

    ExpandedView* expanded() const;
    // Sized as the window of its current mode.
    void fit();
    // The root view at this device pixel ratio, read back in view coordinates.
    QImage render(qreal scale = 2) const;

    QList<QUrl> opened; // what the store was asked to open
    TempHome home;
    std::unique_ptr<AppSettings> settings;
    ManualClock clock;
    std::unique_ptr<ViewStore> store;
    std::unique_ptr<NotchState> state;
    std::unique_ptr<NotchRootView> root;
};
