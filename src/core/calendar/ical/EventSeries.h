#pragma once

// Private to the local calendar layer: libical types appear here.

#include "core/calendar/LocalOccurrence.h"
#include "core/calendar/ical/IcalZone.h"
#include "core/calendar/ical/Recurrence.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QStringList>

#include <optional>

class IcalFile;

// How long an event lasts: nominal days (which keep the local hour across daylight-saving changes),
// then exact seconds. Never more than `longestDays` in all.
struct EventLength {
    // A century: whatever an item claims beyond it is a mistake or an attack, and would carry the
    // end of the event past what dates can hold.
    static constexpr qint64 longestDays = 36525;

    int days = 0;
    qint64 seconds = 0;

    // Days and seconds, together cut to a century.
    static EventLength clamped(qint64 days, qint64 seconds);

    QDateTime endFrom(const ItemTime& start, const QTimeZone& userZone) const;
    // An upper bound in seconds, for widening a search window.
    qint64 bound() const { return days * 90000LL + seconds; }
};

// One VEVENT, read into the values the calendar needs.
struct EventComponent {
    struct RDate {
        ItemTime start;
        std::optional<EventLength> length; // a PERIOD value gives its own length
    };

    QByteArray uid;
    ItemTime start;
    EventLength length;
    QList<RecurrenceRule> rules; // the rules that can be expanded safely
    QStringList refused;         // why each of the others cannot be, and why dates cannot be read
    QList<RDate> rdates;
    QList<ItemTime> exdates;
    std::optional<ItemTime> recurrenceId;

    std::optional<QString> summary;
    QString location;
    QString description;
    QUrl url;
    LocalOccurrence::Status status = LocalOccurrence::Status::none;
    std::optional<LocalParticipant> organizer;
    QList<LocalParticipant> attendees;
    QDateTime lastModified;

    bool repeats() const { return !rules.empty() || !rdates.isEmpty(); }
};

// One concrete instance of an event.
struct SeriesInstance {
    const EventComponent* component = nullptr;
    ItemTime originalStart; // the RECURRENCE-ID this instance has or would have
    QDateTime start;
    QDateTime end;
    bool isDetached = false; // comes from an override
};

// All components of one UID in an item: the master (absent for an invitation to a single instance)
// and its overrides. Expands into instances for a time range.
class EventSeries {
public:
    // Reads every event of the item. Components without a usable DTSTART are skipped; so are rules
    // that cannot be expanded safely or that libical cannot read, and `notes` says so. Every EXDATE
    // and RDATE value is read, however many a line lists; an event with one that cannot be read shows
    // as its first occurrence. Either leaves the event read-only.
    // Counting the starts of COUNT rules takes from the budget; a used-up budget means the item
    // cannot be read safely.
    static QList<EventSeries> readAll(const IcalFile& file, IcalZoneResolver& zones,
                                      const QTimeZone& userZone, ExpansionBudget& budget,
                                      QStringList* notes = nullptr);
    static QList<EventSeries> readAll(const IcalFile& file, IcalZoneResolver& zones,
                                      const QTimeZone& userZone);

    const QByteArray& uid() const { return m_uid; }
    const std::optional<EventComponent>& master() const { return m_master; }
    const QList<EventComponent>& overrides() const { return m_overrides; }
    bool repeats() const { return m_master && m_master->repeats(); }
    // A rule or a date of the event cannot be read or expanded: the event shows without it (often as
    // its first occurrence alone), and nothing may change it, since a write would take it for the
    // whole event.
    bool readOnly() const { return m_master && !m_master->refused.isEmpty(); }

    // The instances that overlap [from, to), sorted by start. A zero-length instance belongs to the
    // range when it starts inside it. Stops early, with fewer instances, once the budget is used up.
    QList<SeriesInstance> instances(const QDateTime& from, const QDateTime& to, const QTimeZone& userZone,
                                    ExpansionBudget& budget) const;
    QList<SeriesInstance> instances(const QDateTime& from, const QDateTime& to,
                                    const QTimeZone& userZone) const;
    // The instance whose original start is that instant (the only instance of a non-repeating
    // event, wherever it now lies).
    std::optional<SeriesInstance> instanceAt(const QDateTime& occurrenceDate, const QTimeZone& userZone,
                                             ExpansionBudget& budget) const;
    std::optional<SeriesInstance> instanceAt(const QDateTime& occurrenceDate,
                                             const QTimeZone& userZone) const;

private:
    struct Start {
        ItemTime time;
        EventLength length;
    };
    // Dates found by hash: a series may carry thousands of overrides and exceptions.
    class DateIndex {
    public:
        void add(const ItemTime& time, qsizetype index);
        // The lowest index whose time names the same instance as `time` (sameOccurrence), or -1. A
        // later add replaces an earlier one of the same key: add from the highest index down.
        qsizetype find(const ItemTime& time) const;

    private:
        QHash<qint64, qsizetype> m_byInstant; // date-times, by UTC milliseconds
        QHash<qint64, qsizetype> m_byDate;    // dates, by Julian day
        QHash<qint64, qsizetype> m_anyByDate; // all, by their own date
    };

    // Starts of the recurrence set, before overrides, with original start in [from, to).
    QList<Start> generate(const QDateTime& from, const QDateTime& to, const QTimeZone& userZone,
                          ExpansionBudget& budget) const;
    bool excluded(const ItemTime& start) const;
    const EventComponent* overrideFor(const ItemTime& start) const;
    SeriesInstance instanceOf(const EventComponent& component, bool detached,
                              const QTimeZone& userZone) const;
    qint64 longest() const;
    void index();

    QByteArray m_uid;
    std::optional<EventComponent> m_master;
    QList<EventComponent> m_overrides;
    DateIndex m_overrideIndex;
    DateIndex m_exdateIndex;
};

// True when both name the same instance: by date when either is a date, else by instant.
bool sameOccurrence(const ItemTime& a, const ItemTime& b);
