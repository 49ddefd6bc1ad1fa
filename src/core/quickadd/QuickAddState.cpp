#include "core/quickadd/QuickAddState.h"

#include "core/remote/HexColor.h"

namespace QuickAdd {

bool isUntitled(const QString& title) {
    return title == QLatin1String("(No title)") || title == QLatin1String("Untitled");
}

QString Destination::id() const {
    if (const EventStore::MeetingTarget* t = target())
        return QStringLiteral("g|") + t->account + u'|' + t->calendar.id;
    return QStringLiteral("mac|") + calendar()->id;
}

QColor Destination::color() const {
    if (const EventStore::MeetingTarget* t = target()) {
        if (t->calendar.colorHex) {
            if (const std::optional<QColor> c = HexColor::color(*t->calendar.colorHex))
                return *c;
        }
        return CalEvent::systemBlue();
    }
    return calendar()->color.isValid() ? calendar()->color : CalEvent::systemBlue();
}

QString Destination::title() const {
    if (const EventStore::MeetingTarget* t = target())
        return t->calendar.primary ? t->account : t->calendar.summary;
    return calendar()->title;
}

QString Destination::subtitle() const {
    if (isGoogle())
        return QStringLiteral("Google · invites & Meet links");
    return calendar()->sourceTitle + QStringLiteral(" · on this computer");
}

} // namespace QuickAdd
