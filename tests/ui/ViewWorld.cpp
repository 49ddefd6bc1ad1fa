#include "ViewWorld.h"

#include "core/calendar/LocalCalendars.h"
#include "core/settings/SettingsLocations.h"
#include "devtools/SampleData.h"
#include "support/TestEvents.h"
#include "ui/controls/Motion.h"
#include "ui/panel/ExpandedView.h"

#include <QDir>
#include <QFile>
#include <QPainter>

ViewWorld::ViewWorld(Folder calendarFolder, QSizeF notch)
    : clock(TestEvents::at(QStringLiteral("2026-03-04 10:00"))) {
    Motion::setEnabled(false);
    const QString folder = home.dataHome() + QStringLiteral("/Vorrindel/calendars");
    if (calendarFolder != Folder::missing)
        QDir().mkpath(folder + QStringLiteral("/Calendar"));
    if (calendarFolder == Folder::unreadable)
        QFile::setPermissions(folder, {});
    settings = std::make_unique<AppSettings>(SettingsLocations::standard());
    EventStore::Environment environment;
    environment.settings = settings.get();
    environment.clock = clock.clock();
    environment.timers = clock.timers();
    environment.openUrl = [this](const QUrl& url) {
        opened << url;
        return true;
    };
    store = std::make_unique<ViewStore>(std::move(environment));
    state = std::make_unique<NotchState>(NotchGeometry{QRectF(0, 0, 1512, 982), notch, false});
    root = std::make_unique<NotchRootView>(*state, *store, *settings);
    fit();
}

ViewWorld::~ViewWorld() {
    root.reset();
    QFile::setPermissions(home.dataHome() + QStringLiteral("/Vorrindel/calendars"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

void ViewWorld::useSampleDay() {
    setEvents(SampleData::events(clock.now(), store->cal()));
}

void ViewWorld::useBusyDay(int count) {
    const QDateTime day = store->cal().startOfDay(clock.now());
    QList<CalEvent> events;
    for (int i = 0; i < count; ++i) {
        const QDateTime start = day.addSecs(8 * 3600 + i * 1800);
        CalEvent event = TestEvents::timed(
            QStringLiteral("busy%1").arg(i), QStringLiteral("Meeting number %1").arg(i + 1), start,
            start.addSecs(1500), i % 5 == 4 ? EventSource::notion : EventSource::calendar);
        event.calendarName = i % 3 ? QStringLiteral("Work") : QStringLiteral("Personal");
        event.color = i % 3 ? QColor(84, 140, 250) : QColor(89, 199, 128);
        if (i % 2)
            event.location = QStringLiteral("https://meet.google.com/abc-defg-%1").arg(100 + i);
        if (event.source == EventSource::notion)
            event.notionStatus = QStringLiteral("In progress");
        events << event;
    }
    setEvents(events);
}

void ViewWorld::setEvents(const QList<CalEvent>& events) {
    store->installSampleEvents(events);
}

ExpandedView* ViewWorld::expanded() const {
    return static_cast<ExpandedView*>(root->modeContent(NotchMode::expanded));
}

void ViewWorld::fit() {
    root->resize(NotchLayout::windowFrame(state->geometry(), root->mode()).size().toSize());
    // A widget that is never shown hears of its new size when it is rendered.
    render(1);
}

QImage ViewWorld::render(qreal scale) const {
    QImage image(root->size() * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    root->render(&image);
    return image;
}
