#pragma once

#include "app/AppServices.h"
#include "app/MenuBarMenu.h"
#include "core/store/StoreHarness.h"
#include "support/TestEvents.h"

// The tray menu's world: a store at Wednesday 4 March 2026, 10:00 in Berlin on a 12-hour clock, and
// hooks that record what the menu's entries do, the panel among them (unless hasNotch is off).
struct MenuWorld : NotchControl {
    StoreHarness h{QStringLiteral("2026-03-04 10:00"), StoreHarness::berlin("en_US")};
    QStringList calls;
    bool hasNotch = true;

    void expand(bool pinned) override { calls << (pinned ? "expand pinned" : "expand"); }
    void openQuickAdd(const QString& prefill) override { calls << "quick add \"" + prefill + '"'; }

    MenuBarMenu::Hooks hooks() {
        return {[this]() -> NotchControl* { return hasNotch ? this : nullptr; },
                [this](const QUrl& url) {
                    calls << "open " + url.toString();
                    return true;
                },
                [this] { calls << "settings"; }, [this] { calls << "quit"; }};
    }

    // "title|HH:mm:ss|minutes|meeting link" for a Google meeting today, "title|all-day" for an
    // all-day item; the id is the title.
    QList<CalEvent> events(const QStringList& specs) const {
        QList<CalEvent> events;
        for (const QString& spec : specs) {
            const QStringList f = spec.split(QLatin1Char('|'));
            if (f[1] == u"all-day") {
                events << TestEvents::allDay(f[0], f[0], h.at("2026-03-04 00:00"), h.at("2026-03-05 00:00"),
                                             EventSource::google);
                continue;
            }
            const QDateTime start = h.at("2026-03-04 " + f[1]);
            events << TestEvents::timed(f[0], f[0], start, start.addSecs(f[2].toInt() * 60),
                                        EventSource::google);
            if (!f[3].isEmpty())
                events.last().location = f[3];
        }
        return events;
    }
};
