#pragma once

// Private to the local calendar layer: libical types appear here.

#include "core/calendar/LocalCalendars.h"
#include "core/calendar/ical/EventSeries.h"
#include "core/calendar/ical/IcalFile.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QTimeZone>

#include <optional>

// The changes the calendar store makes to vdir items. libical reads the item and builds each new line,
// but the item is changed line by line (ItemPatch), never written back whole, so what other programs
// put in it survives the edit. Each new text is read back before it is handed out: a change that would
// leave an item the app cannot read, or that reads back as something else, throws CalendarFileError and
// the caller leaves the item as it was.
class ItemEdit {
public:
    using Slot = LocalCalendars::Slot;

    // An item as read from disk: its text, what libical made of it and the series in it.
    struct Item {
        QString fileName; // for messages
        QByteArray text;
        const IcalFile* file = nullptr;
        const QList<EventSeries>* series = nullptr;
    };

    // `zone` is the user's: all-day dates are its days, timed slots are written in it. `now` stamps
    // the changed event.
    ItemEdit(IcalZoneResolver& zones, const QTimeZone& zone, const QDateTime& now);

    // The item's text with that instance retitled and/or moved. A non-repeating event is changed in
    // place, an instance of a series through its override (made here when it has none yet).
    QByteArray change(const Item& item, const EventSeries& series, const SeriesInstance& instance,
                      const std::optional<QString>& title, const std::optional<Slot>& slot);
    // The item's text without that instance; absent when nothing would be left in it.
    std::optional<QByteArray> remove(const Item& item, const EventSeries& series,
                                     const SeriesInstance& instance);
    // The text of a new item holding one event.
    QByteArray create(const QByteArray& uid, const QString& title, const Slot& slot);

private:
    struct Times;
    // Throws when the slot lies beyond reach. Timed slots are written in the user's zone, or
    // floating (in the user's zone) when `floating`.
    Times timesOf(const Slot& slot, bool floating) const;
    // How a timed start and end in that zone are written, so that other readers place them at the
    // same instants (or, floating, as near as a floating time allows).
    Times spanIn(const IcalZone& zone, const QDateTime& start, const QDateTime& end) const;

    IcalZoneResolver& m_zones;
    QTimeZone m_zone;
    QDateTime m_now;
};
