#pragma once

#include "core/model/CalEvent.h"
#include "core/settings/AppSettings.h"
#include "core/store/EventStore.h"
#include "core/store/StoreFakes.h"
#include "support/ManualClock.h"
#include "support/TempHome.h"
#include "ui/notch/NotchState.h"
#include "ui/panel/EventDetailView.h"

#include <QList>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

// A detail view's surroundings: a store on a manual clock at Wednesday 4 March 2026, 10:00 UTC, in
// en_US (12-hour clock), with Ada's Google account able to write to the store's fake Google source
// (whose deletes and declines a test can hold and fail), the links it opens recorded, and a panel
// state with no controller.
class DetailWorld {
public:
    static inline const QString ada = QStringLiteral("ada@corp.io");

    DetailWorld();
    ~DetailWorld();

    QDateTime at(const QString& wall) const;

    // A Google meeting of Ada's calendar from the wall time, half an hour long; Ada organises it
    // unless `guest`, when Ada is an invited guest who may decline.
    CalEvent googleMeeting(const QString& id, const QString& title, const QString& wall,
                           bool guest = false) const;

    // A view of the event with the world's opener and timers, at the body size of the panel.
    std::unique_ptr<EventDetailView> view(const CalEvent& event, bool confirmDelete = false);

    // The deletes and declines sent to Google ("delete <id>[ notify]", "decline <id>"); held ones wait
    // for releaseWrites(), and the next one fails with `failWith` when given.
    QStringList writes() const;
    void holdWrites(std::optional<QString> failWith = std::nullopt);
    void releaseWrites();

    TempHome home;
    std::unique_ptr<AppSettings> settings;
    ManualClock clock;
    std::shared_ptr<GoogleState> google = std::make_shared<GoogleState>();
    QList<QUrl> opened;      // through the store (Join)
    QList<QUrl> openedLinks; // through the view (web pages, launchers)
    std::unique_ptr<EventStore> store;
    std::unique_ptr<NotchState> state;
};
