#include "DetailWorld.h"

#include "support/TestEvents.h"
#include "support/WallClock.h"

#include <QCoreApplication>
#include <QRegularExpression>

DetailWorld::DetailWorld()
    : StoreHarness(QStringLiteral("2026-03-04 10:00"), WallClock::cal("UTC", "en_US")) {
    connect(ada);
    start();
    state = std::make_unique<NotchState>(NotchGeometry{QRectF(0, 0, 1512, 982), QSizeF(180, 32), false});
}

DetailWorld::~DetailWorld() {
    // A call still held keeps its frame; letting it end first keeps the store's teardown simple.
    releaseWrites();
    QCoreApplication::processEvents();
}

QStringList DetailWorld::writes() const {
    return google->calls.filter(QRegularExpression(QStringLiteral("^(delete|decline) ")));
}

void DetailWorld::holdWrites(std::optional<QString> failWith) {
    google->holds.hold(QStringLiteral("delete"));
    google->holds.hold(QStringLiteral("decline"));
    if (failWith)
        google->failing.insert(QStringLiteral("delete"), *failWith);
}

void DetailWorld::releaseWrites() {
    google->holds.release(QStringLiteral("delete"));
    google->holds.release(QStringLiteral("decline"));
}

CalEvent DetailWorld::googleMeeting(const QString& id, const QString& title, const QString& wall,
                                    bool guest) const {
    CalEvent event = TestEvents::timed(CalEvent::googleId(ada, ada, id), title, at(wall),
                                       at(wall).addSecs(1800), EventSource::google);
    event.googleAccount = ada;
    event.googleCalendarID = ada;
    event.googleEventID = id;
    event.calendarName = ada;
    event.organizerIsMe = !guest;
    event.organizer = guest ? QStringLiteral("Ondrea Vask") : QStringLiteral("Ada");
    event.attendees = {TestEvents::guest(QStringLiteral("Ada"), ada, Attendee::Status::accepted, true),
                       TestEvents::guest(QStringLiteral("Ondrea Vask"), QStringLiteral("ondrea@corp.io"))};
    event.attendees[guest ? 1 : 0].isOrganizer = true;
    return event;
}

std::unique_ptr<EventDetailView> DetailWorld::view(const CalEvent& event, bool confirmDelete) {
    EventDetailView::Options options;
    options.confirmDelete = confirmDelete;
    options.openUrl = [this](const QUrl& url) {
        openedLinks << url;
        return true;
    };
    options.timers = clock.timers();
    auto view = std::make_unique<EventDetailView>(*state, *store, event, std::move(options));
    view->resize(540, 362);
    return view;
}
