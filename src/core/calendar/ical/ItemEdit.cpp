#include "core/calendar/ical/ItemEdit.h"

#include "core/calendar/CalendarFileError.h"
#include "core/calendar/ItemPatch.h"
#include "core/model/SaneDates.h"

#include <QHash>

#include <algorithm>
#include <limits>

namespace {

// What a new item starts from; every line of the event is then built by libical.
const QByteArray newItem = "BEGIN:VCALENDAR\r\n"
                           "VERSION:2.0\r\n"
                           "PRODID:-//Vorrindel//Vorrindel//EN\r\n"
                           "BEGIN:VEVENT\r\n"
                           "END:VEVENT\r\n"
                           "END:VCALENDAR\r\n";

CalendarFileError unreadable(const QString& fileName) {
    return CalendarFileError(
        QStringLiteral("%1 has parts Vorrindel can’t read, so it was left unchanged.").arg(fileName));
}

CalendarFileError notReadBack(const QString& fileName) {
    return CalendarFileError(
        QStringLiteral("%1 was left unchanged: the change would not read back as made.").arg(fileName));
}

CalendarFileError newNotReadBack() {
    return CalendarFileError(QStringLiteral("The event was not saved: it would not read back as made."));
}

QByteArray fromLibical(char* text) {
    QByteArray out(text);
    icalmemory_free_buffer(text);
    return out;
}

// One content line as libical writes the property, unfolded and without its line ending.
QByteArray lineOf(icalproperty* property) {
    QByteArray text = fromLibical(icalproperty_as_ical_string_r(property));
    icalproperty_free(property);
    text.replace("\r\n ", "").replace("\n ", "");
    while (text.endsWith('\n') || text.endsWith('\r'))
        text.chop(1);
    return text;
}

icaltimetype utcTime(const QDateTime& instant) {
    const QDateTime t = instant.toUTC();
    icaltimetype v = icalWallTime(t.date(), t.time());
    v.zone = icaltimezone_get_utc_timezone();
    return v;
}

icalcomponent* findComponent(const IcalFile& file, const QByteArray& uid,
                             const std::optional<ItemTime>& recurrenceId, IcalZoneResolver& zones,
                             const QTimeZone& userZone) {
    for (icalcomponent* c : file.events(uid)) {
        icalproperty* p = icalcomponent_get_first_property(c, ICAL_RECURRENCEID_PROPERTY);
        if (!recurrenceId && !p)
            return c;
        if (recurrenceId && p &&
            sameOccurrence(*recurrenceId, Ical::readTime(p, icalproperty_get_recurrenceid(p), zones,
                                                         file.calendar(), userZone)))
            return c;
    }
    return nullptr;
}

// Whether two VEVENTs name the same component: the same UID and RECURRENCE-ID, as written.
bool sameEvent(icalcomponent* a, icalcomponent* b) {
    if (Ical::uid(a) != Ical::uid(b))
        return false;
    icalproperty* ra = icalcomponent_get_first_property(a, ICAL_RECURRENCEID_PROPERTY);
    icalproperty* rb = icalcomponent_get_first_property(b, ICAL_RECURRENCEID_PROPERTY);
    if (!ra || !rb)
        return !ra && !rb;
    const icaltimetype ta = icalproperty_get_recurrenceid(ra);
    const icaltimetype tb = icalproperty_get_recurrenceid(rb);
    auto tzid = [](icalproperty* p) {
        icalparameter* param = icalproperty_get_first_parameter(p, ICAL_TZID_PARAMETER);
        return param ? QByteArray(icalparameter_get_tzid(param)) : QByteArray();
    };
    return ta.year == tb.year && ta.month == tb.month && ta.day == tb.day && ta.hour == tb.hour &&
           ta.minute == tb.minute && ta.second == tb.second && ta.is_date == tb.is_date &&
           icaltime_is_utc(ta) == icaltime_is_utc(tb) && tzid(ra) == tzid(rb);
}

ItemPatch open(const ItemEdit::Item& item) {
    std::optional<ItemPatch> patch = ItemPatch::read(item.text);
    if (!patch)
        throw unreadable(item.fileName);
    return std::move(*patch);
}

// The component of the text that libical read as that event. libical keeps the events in text order,
// but the match is checked, since an item libical only half understood could shift them.
ItemPatch::Component componentOf(const ItemPatch& patch, const ItemEdit::Item& item, icalcomponent* event) {
    const QList<icalcomponent*> events = item.file->events();
    const QList<ItemPatch::Component> components = patch.components("VEVENT");
    const qsizetype i = event ? events.indexOf(event) : -1;
    if (i < 0 || events.size() != components.size())
        throw unreadable(item.fileName);
    const IcalComponentPtr alone(icalparser_parse_string(patch.text(components[i]).constData()));
    if (!alone || icalcomponent_isa(alone.get()) != ICAL_VEVENT_COMPONENT || !sameEvent(alone.get(), event))
        throw unreadable(item.fileName);
    return components[i];
}

bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

// SEQUENCE one up, DTSTAMP and LAST-MODIFIED now.
void touch(ItemPatch& patch, ItemPatch::Component event, const QDateTime& now) {
    // Readers hold SEQUENCE in 32 bits: one that reached the top (or is written past it) stays there.
    constexpr qint64 top = std::numeric_limits<int>::max();
    qint64 sequence = 0;
    if (const std::optional<QByteArray> value = patch.value(event, "SEQUENCE")) {
        const QByteArray digits = value->trimmed();
        bool ok = false;
        sequence = digits.toLongLong(&ok);
        if (!ok)
            sequence = !digits.isEmpty() && std::all_of(digits.begin(), digits.end(), isAsciiDigit) ? top : 0;
    }
    patch.set(event, lineOf(icalproperty_new_sequence(
                         int(sequence >= top ? top : std::max<qint64>(sequence, 0) + 1))));
    patch.set(event, lineOf(icalproperty_new_dtstamp(utcTime(now))));
    patch.set(event, lineOf(icalproperty_new_lastmodified(utcTime(now))));
}

// How many components each UID other than `except` has.
QHash<QByteArray, qsizetype> othersOf(const QList<EventSeries>& series, const QByteArray& except) {
    QHash<QByteArray, qsizetype> out;
    for (const EventSeries& s : series) {
        if (s.uid() != except)
            out[s.uid()] += s.overrides().size() + (s.master() ? 1 : 0);
    }
    return out;
}

// A title as readers get it back: libical drops carriage returns and the blanks around a value.
QString storable(const QString& title) {
    return QString(title).remove(QLatin1Char('\r')).trimmed();
}

const EventSeries* seriesOf(const QList<EventSeries>& all, const QByteArray& uid) {
    const auto it =
        std::find_if(all.begin(), all.end(), [&](const EventSeries& s) { return s.uid() == uid; });
    return it == all.end() ? nullptr : &*it;
}

// Whether the series, read back after an edit, still has every exception and extra date it had.
bool keepsDates(const EventSeries& before, const EventSeries* after) {
    if (!before.master())
        return true;
    return after && after->master() && after->master()->exdates.size() >= before.master()->exdates.size() &&
           after->master()->rdates.size() == before.master()->rdates.size();
}

} // namespace

struct ItemEdit::Times {
    ItemTime start;
    ItemTime end;
    // The end is written as its exact length from the start (DURATION) rather than as a time.
    bool endAsLength = false;
};

ItemEdit::ItemEdit(IcalZoneResolver& zones, const QTimeZone& zone, const QDateTime& now)
    : m_zones(zones)
    , m_zone(zone)
    , m_now(now) {}

ItemEdit::Times ItemEdit::timesOf(const Slot& slot, bool floating) const {
    if (!SaneDates::contains(slot.start, m_now) || !SaneDates::contains(slot.end, m_now))
        throw CalendarFileError(
            QStringLiteral("That date is more than a hundred years away, so the event was not saved."));
    Times times;
    if (slot.isAllDay) {
        const QDate first = slot.start.toTimeZone(m_zone).date();
        // The day after the last day touched, so both "next midnight" and "23:59:59" ends work.
        const QDate last = std::max(first, slot.end.addSecs(-1).toTimeZone(m_zone).date());
        times.start = ItemTime::make(first, {}, true, {}, m_zone);
        times.end = ItemTime::make(last.addDays(1), {}, true, {}, m_zone);
        return times;
    }
    // A timed slot carries a zone: the user's when other programs can know it by name, else UTC.
    // Only an occurrence of a floating series stays floating (in the user's zone, so at the same
    // instants): other readers take an override for its occurrence only when both have one form.
    IcalZone zone;
    if (!floating) {
        const QDateTime start = slot.start.toTimeZone(m_zone);
        const bool named = QTimeZone::isTimeZoneIdAvailable(m_zone.id()) &&
                           (m_zone.offsetFromUtc(start) != 0 || m_zone.daylightTimeOffset(start) != 0 ||
                            m_zone.hasDaylightTime());
        zone = named ? IcalZone::named(m_zone, m_zone.id()) : IcalZone::utc();
    }
    // iCalendar counts in whole seconds: "in 20 min" from a clock with milliseconds is written, and
    // read back, without them.
    auto whole = [](const QDateTime& exact) {
        return QDateTime::fromSecsSinceEpoch(exact.toSecsSinceEpoch(), QTimeZone::utc());
    };
    return spanIn(zone, whole(slot.start), whole(std::max(slot.end, slot.start)));
}

ItemEdit::Times ItemEdit::spanIn(const IcalZone& zone, const QDateTime& start, const QDateTime& end) const {
    ItemTime form;
    form.zone = zone;
    Times times;
    times.start = form.at(start, m_zone);
    times.end = form.at(end, m_zone);
    // A time the clock repeats is read by some readers as its first instant and by others as its
    // second, and one that starts after it ends makes them drop the whole item: such times are not
    // written as wall clocks.
    auto plain = [&](const ItemTime& t) {
        return t.zone.kind() == zone.kind() && !t.zone.repeats(t.date, t.time, m_zone);
    };
    if (zone.kind() == IcalZone::Kind::utc || (plain(times.start) && plain(times.end)))
        return times;
    // Floating times stay floating, with the end as the length from the start: whichever instant a
    // reader takes a repeated time for, it never sees the end before the start. No floating time names
    // the first of a repeated hour for a reader that takes the second, so there it places the instance
    // where it placed it before.
    if (zone.kind() == IcalZone::Kind::floating && times.start.zone.kind() == zone.kind()) {
        times.endAsLength = true;
        return times;
    }
    // In a zone (or floating from the second of a repeated hour, which no wall clock names), both in
    // UTC, which every reader places alike.
    auto inUtc = [&](const QDateTime& instant) {
        const QDateTime t = instant.toUTC();
        return ItemTime::make(t.date(), t.time(), false, IcalZone::utc(), m_zone);
    };
    times.start = inUtc(start);
    times.end = inUtc(end);
    return times;
}

namespace {

// DTSTART and DTEND, or DTSTART and DURATION.
void writeTimes(ItemPatch& patch, ItemPatch::Component event, const ItemTime& start, const ItemTime& end,
                bool endAsLength) {
    patch.set(event, lineOf(Ical::timeProperty(ICAL_DTSTART_PROPERTY, start)));
    if (!endAsLength) {
        patch.removeProperties(event, "DURATION");
        patch.set(event, lineOf(Ical::timeProperty(ICAL_DTEND_PROPERTY, end)), "DTSTART");
        return;
    }
    // In hours, minutes and seconds: days would be nominal, the same wall clock a day later.
    const qint64 seconds = std::max<qint64>(0, start.instant.secsTo(end.instant));
    icaldurationtype length = icaldurationtype_null_duration();
    length.hours = unsigned(seconds / 3600);
    length.minutes = unsigned(seconds / 60 % 60);
    length.seconds = unsigned(seconds % 60);
    patch.removeProperties(event, "DTEND");
    patch.set(event, lineOf(icalproperty_new_duration(length)), "DTSTART");
}

void writeSlot(ItemPatch& patch, ItemPatch::Component event, const ItemTime& start, const ItemTime& end,
               bool endAsLength, const QTimeZone& zone) {
    // A time in the user's zone is written with its name, which needs its VTIMEZONE.
    if (start.zone.kind() == IcalZone::Kind::named || end.zone.kind() == IcalZone::Kind::named) {
        const QByteArray tzid = zone.id();
        const QList<ItemPatch::Component> zones = patch.components("VTIMEZONE");
        const bool defined = std::any_of(zones.begin(), zones.end(), [&](ItemPatch::Component z) {
            return patch.value(z, "TZID").value_or(QByteArray()).trimmed() == tzid;
        });
        if (!defined) {
            icalcomponent* vtimezone = makeVTimezone(zone, start.date.year());
            patch.prepend(fromLibical(icalcomponent_as_ical_string_r(vtimezone)));
            icalcomponent_free(vtimezone);
        }
    }
    writeTimes(patch, event, start, end, endAsLength);
}

} // namespace

QByteArray ItemEdit::change(const Item& item, const EventSeries& series, const SeriesInstance& instance,
                            const std::optional<QString>& newTitle, const std::optional<Slot>& slot) {
    const std::optional<QString> title = newTitle ? std::optional(storable(*newTitle)) : std::nullopt;
    const ItemTime& original = instance.originalStart;
    const bool floating =
        series.repeats() && !original.isDate && original.zone.kind() == IcalZone::Kind::floating;
    const std::optional<Times> times = slot ? std::optional(timesOf(*slot, floating)) : std::nullopt;
    ItemPatch patch = open(item);
    const QByteArray uid = series.uid();

    ItemPatch::Component event;
    if (instance.isDetached) {
        event = componentOf(
            patch, item, findComponent(*item.file, uid, instance.component->recurrenceId, m_zones, m_zone));
    } else {
        event = componentOf(patch, item, findComponent(*item.file, uid, std::nullopt, m_zones, m_zone));
        if (series.repeats()) {
            // The override starts as a copy of the series' event, which names its instance.
            event = patch.copy(event,
                               {"RRULE", "RDATE", "EXDATE", "EXRULE", "RECURRENCE-ID", "DURATION", "DTEND"});
            // Its times in the series' form, as wall clocks the zone has (a time its rule gives in a
            // skipped hour is written as the time it stands for), while RECURRENCE-ID names the instance
            // as the rule gives it, in the form of the series' DTSTART (date or zone), as the standard
            // asks.
            if (original.isDate) {
                writeTimes(patch, event, original.at(original.instant, m_zone),
                           ItemTime::make(instance.end.toTimeZone(m_zone).date(), {}, true, {}, m_zone),
                           false);
            } else {
                const Times span = spanIn(original.zone, original.instant, instance.end);
                writeTimes(patch, event, span.start, span.end, span.endAsLength);
            }
            patch.set(event, lineOf(Ical::timeProperty(ICAL_RECURRENCEID_PROPERTY, original)), "DTSTART");
        }
    }
    if (title)
        patch.setValue(event, lineOf(icalproperty_new_summary(title->toUtf8().constData())));
    if (times)
        writeSlot(patch, event, times->start, times->end, times->endAsLength, m_zone);
    touch(patch, event, m_now);

    const QByteArray text = patch.text();
    const std::optional<IcalFile> file = IcalFile::parse(text);
    if (!file)
        throw notReadBack(item.fileName);
    const QList<EventSeries> after = EventSeries::readAll(*file, m_zones, m_zone);
    const EventSeries* changed = seriesOf(after, uid);
    const std::optional<SeriesInstance> readBack =
        changed ? changed->instanceAt(instance.originalStart.instant, m_zone) : std::nullopt;
    // A retitled instance stays where it was.
    const QDateTime start = times ? times->start.instant : instance.start;
    const QDateTime end = times ? times->end.instant : instance.end;
    const bool asMade = readBack && (!title || readBack->component->summary.value_or(QString()) == *title) &&
                        readBack->start == start && readBack->end == end &&
                        (!times || readBack->component->start.isDate == times->start.isDate) &&
                        othersOf(after, uid) == othersOf(*item.series, uid) && keepsDates(series, changed);
    if (!asMade)
        throw notReadBack(item.fileName);
    return text;
}

std::optional<QByteArray> ItemEdit::remove(const Item& item, const EventSeries& series,
                                           const SeriesInstance& instance) {
    ItemPatch patch = open(item);
    const QByteArray uid = series.uid();

    if (!series.repeats() && !instance.isDetached) {
        QList<ItemPatch::Component> all;
        for (icalcomponent* c : item.file->events(uid))
            all.append(componentOf(patch, item, c));
        for (ItemPatch::Component c : all)
            patch.remove(c);
    } else if (!series.master()) {
        patch.remove(componentOf(
            patch, item, findComponent(*item.file, uid, instance.component->recurrenceId, m_zones, m_zone)));
    } else {
        const ItemPatch::Component master =
            componentOf(patch, item, findComponent(*item.file, uid, std::nullopt, m_zones, m_zone));
        // The instance's override, which may have moved it anywhere, goes with it.
        icalcomponent* moved = findComponent(*item.file, uid, instance.originalStart, m_zones, m_zone);
        const std::optional<ItemPatch::Component> instanceOverride =
            moved ? std::optional(componentOf(patch, item, moved)) : std::nullopt;
        patch.add(master, lineOf(Ical::timeProperty(ICAL_EXDATE_PROPERTY, instance.originalStart)));
        if (instanceOverride)
            patch.remove(*instanceOverride);
        touch(patch, master, m_now);
    }

    const QList<ItemPatch::Component> left = patch.components();
    const bool empty = std::all_of(left.begin(), left.end(),
                                   [&](ItemPatch::Component c) { return patch.kind(c) == "VTIMEZONE"; });
    if (empty && !patch.hasTextOutsideCalendar())
        return std::nullopt;

    const QByteArray text = patch.text();
    const std::optional<IcalFile> file = IcalFile::parse(text);
    if (!file)
        throw notReadBack(item.fileName);
    const QList<EventSeries> after = EventSeries::readAll(*file, m_zones, m_zone);
    const EventSeries* rest = seriesOf(after, uid);
    if ((rest && rest->instanceAt(instance.originalStart.instant, m_zone)) ||
        othersOf(after, uid) != othersOf(*item.series, uid) || (rest && !keepsDates(series, rest)))
        throw notReadBack(item.fileName);
    return text;
}

QByteArray ItemEdit::create(const QByteArray& uid, const QString& newTitle, const Slot& slot) {
    const QString title = storable(newTitle);
    const Times times = timesOf(slot, false);
    ItemPatch patch = *ItemPatch::read(newItem);
    const ItemPatch::Component event = patch.components().first();
    patch.set(event, lineOf(icalproperty_new_uid(uid.constData())));
    patch.set(event, lineOf(icalproperty_new_summary(title.toUtf8().constData())));
    writeSlot(patch, event, times.start, times.end, times.endAsLength, m_zone);
    patch.set(event, lineOf(icalproperty_new_sequence(0)));
    patch.set(event, lineOf(icalproperty_new_dtstamp(utcTime(m_now))));
    patch.set(event, lineOf(icalproperty_new_lastmodified(utcTime(m_now))));

    const QByteArray text = patch.text();
    const std::optional<IcalFile> file = IcalFile::parse(text);
    const QList<EventSeries> after =
        file ? EventSeries::readAll(*file, m_zones, m_zone) : QList<EventSeries>();
    const std::optional<SeriesInstance> readBack = after.size() == 1 && after.first().uid() == uid
                                                       ? after.first().instanceAt(times.start.instant, m_zone)
                                                       : std::nullopt;
    if (!readBack || readBack->component->summary.value_or(QString()) != title ||
        readBack->start != times.start.instant || readBack->end != times.end.instant)
        throw newNotReadBack();
    return text;
}
