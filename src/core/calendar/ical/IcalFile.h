#pragma once

// Private to the local calendar layer: libical types appear here.

#include "core/calendar/ical/IcalZone.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <libical/ical.h>

#include <memory>
#include <optional>

struct IcalComponentDeleter {
    void operator()(icalcomponent* component) const { icalcomponent_free(component); }
};
using IcalComponentPtr = std::unique_ptr<icalcomponent, IcalComponentDeleter>;

// One iCalendar object as a vdir item holds it: a VCALENDAR with its events and time zones. Owns the
// libical tree; the calendar store's edits are made on the item's text (ItemEdit).
class IcalFile {
public:
    // Absent, with the reason in `error`, when the text holds no calendar object.
    static std::optional<IcalFile> parse(const QByteArray& text, QString* error = nullptr);

    QByteArray serialize() const;
    icalcomponent* calendar() const { return m_root.get(); }
    // The text it was read from.
    const QByteArray& text() const { return m_text; }
    // libical dropped parts it could not read, or the text held further objects after this one;
    // writing the object back would lose them.
    bool hasErrors() const;

    QList<icalcomponent*> events() const;
    QList<icalcomponent*> events(const QByteArray& uid) const;

private:
    explicit IcalFile(IcalComponentPtr root);

    IcalComponentPtr m_root;
    QByteArray m_text;
    bool m_partial = false;
};

namespace Ical {

QByteArray uid(icalcomponent* event);
// Reads a DATE or DATE-TIME property with its TZID.
ItemTime readTime(icalproperty* property, icaltimetype value, IcalZoneResolver& zones,
                  icalcomponent* vcalendar, const QTimeZone& userZone);
// A property of the given kind holding the time in its own form: VALUE=DATE, a UTC "Z" time, a
// TZID, or floating.
icalproperty* timeProperty(icalproperty_kind kind, const ItemTime& time);
QString text(const char* value);

} // namespace Ical
