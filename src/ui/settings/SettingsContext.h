#pragma once

#include "platform/UrlOpener.h"
#include "ui/notch/NotchGeometry.h"

#include <functional>

class AppSettings;
class EventStore;

// What the settings window works on: the settings it edits in place, the event store whose
// operations it starts and whose state it shows, the opener for web pages and the calendar folder,
// and where the panel hangs (the running panel's geometry; a fresh detection when there is none).
struct SettingsContext {
    AppSettings& settings;
    EventStore& store;
    UrlOpener openUrl;
    std::function<NotchGeometry()> geometry;
};
