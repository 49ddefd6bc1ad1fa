#include "DetailWorld.h"

#include "core/model/UserCal.h"
#include "core/settings/SettingsLocations.h"
#include "support/TestEvents.h"

QCoro::Task<GoogleAPI::ValidToken> HeldGoogle::validToken(GoogleAccount account, GoogleConfig) {
    co_return GoogleAPI::ValidToken{QStringLiteral("token"), std::move(account)};
}

QCoro::Task<QList<CalEvent>> HeldGoogle::events(GoogleCalendarInfo, QString, QDateTime, QDateTime, QString,
                                                Cal) {
    co_return QList<CalEvent>();
}

QCoro::Task<QJsonObject> HeldGoogle::send(QString, QString, GoogleAPI::Query, QJsonObject, QString) {
    co_return QJsonObject();
}

QCoro::Task<CalEvent> HeldGoogle::updateEvent(GoogleCalendarInfo, QString, QString, std::optional<QString>,
                                              std::optional<GoogleAPI::Slot>, QStringList, bool, bool, bool,
                                              QString, Cal) {
    throw GoogleError(QStringLiteral("Not in these tests"));
    co_return CalEvent();
}

QCoro::Task<> HeldGoogle::deleteEvent(QString, QString eventID, bool, QString) {
    writes << QStringLiteral("delete ") + eventID;
    co_await Gate{*this};
    if (failWith)
        throw GoogleError(*failWith);
}

QCoro::Task<> HeldGoogle::declineEvent(GoogleCalendarInfo, QString, QString eventID, QString, Cal) {
    writes << QStringLiteral("decline ") + eventID;
    co_await Gate{*this};
    if (failWith)
        throw GoogleError(*failWith);
}

void HeldGoogle::release() {
    const std::vector<std::coroutine_handle<>> held = std::exchange(waiting, {});
    for (std::coroutine_handle<> call : held)
        call.resume();
}

DetailWorld::DetailWorld()
    : clock(TestEvents::at(QStringLiteral("2026-03-04 10:00"))) {
    settings = std::make_unique<AppSettings>(SettingsLocations::standard());
    GoogleAccount account;
    account.email = ada;
    account.refreshToken = QStringLiteral("refresh");
    account.accessToken = QStringLiteral("token");
    account.expiry = clock.now().addSecs(3600);
    account.scopes = QStringList{QStringLiteral("https://www.googleapis.com/auth/calendar.events")};
    account.calendars = {{ada, ada, std::nullopt, true, QStringLiteral("owner")}};
    settings->setGoogle({QStringLiteral("client"), QStringLiteral("secret"), {account}});

    UserCal::use(Cal(QTimeZone::utc(), QLocale(QLocale::English, QLocale::UnitedStates)));
    EventStore::Environment environment;
    environment.settings = settings.get();
    environment.clock = clock.clock();
    environment.timers = clock.timers();
    environment.openUrl = [this](const QUrl& url) {
        opened << url;
        return true;
    };
    auto held = std::make_unique<HeldGoogle>();
    google = held.get();
    environment.google = std::move(held);
    store = std::make_unique<EventStore>(std::move(environment));
    state = std::make_unique<NotchState>(NotchGeometry{QRectF(0, 0, 1512, 982), QSizeF(180, 32), false});
}

DetailWorld::~DetailWorld() {
    // A call still held keeps its frame; letting it end first keeps the store's teardown simple.
    google->open = true;
    google->release();
}

QDateTime DetailWorld::at(const QString& wall) const {
    return TestEvents::at(wall);
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
