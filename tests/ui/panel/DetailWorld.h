#pragma once

#include "core/store/StoreHarness.h"
#include "ui/notch/NotchState.h"
#include "ui/panel/EventDetailView.h"

#include <memory>
#include <optional>

// A detail view's surroundings: the store's world on Wednesday 4 March 2026, 10:00 UTC, in en_US
// (12-hour clock), with Ada's Google account able to write to the fake Google source (whose deletes
// and declines a test can hold and fail), the links the view opens recorded, and a panel state with
// no controller.
class DetailWorld : public StoreHarness {
public:
    static inline const QString ada = QStringLiteral("ada@corp.io");

    DetailWorld();
    ~DetailWorld();

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

    QList<QUrl> openedLinks; // through the view (web pages, launchers); Join goes through the store
    std::unique_ptr<NotchState> state;
};
