#pragma once

// Private to the local calendar layer: libical types appear here.

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QTime>
#include <QTimeZone>

#include <libical/ical.h>

#include <memory>
#include <mutex>
#include <optional>

// Local date and time fields, without a zone.
struct WallTime {
    QDate date;
    QTime time;
};

// A zone defined only by a VTIMEZONE in an item (an Outlook "W. Europe Standard Time", say). Items
// are read on several threads and share their zones; libical fills a zone's table of changes as it
// is used, so one conversion runs at a time.
class DefinedZone {
public:
    explicit DefinedZone(icalcomponent* vtimezone); // takes a copy
    ~DefinedZone();
    DefinedZone(const DefinedZone&) = delete;
    DefinedZone& operator=(const DefinedZone&) = delete;

    // Absent when libical must not build a zone from it, with the reason: observances that repeat
    // more often than yearly (an hourly one takes gigabytes), or rules libical cannot expand safely.
    static std::optional<QString> problem(icalcomponent* vtimezone);

    // `repeated`, when given, tells whether the zone's clock shows that time twice.
    QDateTime toInstant(QDate date, QTime time, bool* repeated = nullptr) const;
    WallTime toWallClock(const QDateTime& instant) const;

private:
    icaltimezone* m_zone = nullptr;
    mutable std::mutex m_mutex;
};

// A date, or a date and wall-clock time, in libical's form and without a zone.
icaltimetype icalWallTime(QDate date, QTime time, bool isDate = false);

// How the wall-clock fields of one iCalendar time become an instant.
class IcalZone {
public:
    enum class Kind { floating, utc, named, defined };

    IcalZone() = default; // floating
    static IcalZone utc();
    static IcalZone named(const QTimeZone& zone, const QByteArray& tzid);
    static IcalZone defined(std::shared_ptr<const DefinedZone> zone, const QByteArray& tzid);

    Kind kind() const { return m_kind; }
    // The TZID as the item spells it; empty for floating and UTC times.
    const QByteArray& tzid() const { return m_tzid; }

    // Floating times are read in the user's zone.
    QDateTime toInstant(QDate date, QTime time, const QTimeZone& userZone) const;
    // Whether the zone's clock shows that time twice (in the hour a change back repeats). Readers
    // differ on the instant such a time names: we take the first, as the standard asks; khal
    // and others take the second.
    bool repeats(QDate date, QTime time, const QTimeZone& userZone) const;
    // The wall clock of an instant in this zone.
    WallTime toWallClock(const QDateTime& instant, const QTimeZone& userZone) const;

private:
    Kind m_kind = Kind::floating;
    QByteArray m_tzid;
    QTimeZone m_named;
    std::shared_ptr<const DefinedZone> m_defined;
};

// One DATE or DATE-TIME value of an item, with its zone and the instant it stands for (a date stands
// for the start of that day in the user's zone).
struct ItemTime {
    QDate date;
    QTime time;
    bool isDate = false;
    IcalZone zone;
    QDateTime instant; // UTC

    static ItemTime make(QDate date, QTime time, bool isDate, const IcalZone& zone,
                         const QTimeZone& userZone);
    // The same wall clock moved to another instant in the same zone and form; in UTC when no wall clock
    // of the zone names that instant (the second time of a repeated hour).
    ItemTime at(const QDateTime& instant, const QTimeZone& userZone) const;
};

// Resolves TZIDs: an IANA name wins, then a VTIMEZONE in the item, then a Windows zone name or a
// prefixed IANA name ("/mozilla.org/.../Europe/Berlin"). An unknown TZID, and a VTIMEZONE that
// libical must not build, read as floating (in the user's zone). Zones defined by identical
// VTIMEZONEs are shared across items, since libical builds each one slowly. Safe to use from
// several threads.
class IcalZoneResolver {
public:
    IcalZone resolve(const QByteArray& tzid, icalcomponent* vcalendar);

    // Each defined zone keeps libical's table of its changes: a folder of items that each define a
    // zone of their own would fill memory. Zones beyond this many read as local.
    static constexpr qsizetype maxDefinedZones = 512;

private:
    QTimeZone namedZone(const QByteArray& id);

    std::mutex m_mutex;                                              // guards m_defined
    QHash<QByteArray, std::shared_ptr<const DefinedZone>> m_defined; // null: refused
};

// A compact VTIMEZONE for an IANA zone, with yearly rules derived from the zone's transitions in the
// given year, so that readers without a zone database see the right offsets.
icalcomponent* makeVTimezone(const QTimeZone& zone, int year);
