#pragma once

#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QUrl>

#include <optional>

// Finds an event's video-meeting link among its texts and names the service behind a link. Only links
// whose host (and, for a few services, path) belong to a known meeting service count, so ordinary web
// pages in notes are never offered as a place to join.
namespace MeetingLink {

struct Service {
    // Lower-case. Without a "/" it is looked for in the link's host only; with one, in the host followed
    // by the path.
    QString pattern;
    QString name;
};

// The known services, most specific first where that matters; the first matching row names a link.
const QList<Service>& services();
// "http://" or "https://" followed by anything up to white space, <, >, ", ', ) or ].
const QRegularExpression& regex();
// The name for a link that no row matches.
QString fallbackName();

// The first meeting link in the texts, which are searched in the order given (absent ones skipped),
// each from its start. Trailing sentence punctuation is not part of a link. The link keeps its
// letter case (QUrl itself lower-cases the host, which is case-insensitive anyway).
std::optional<QUrl> detect(const QList<std::optional<QString>>& texts);

// The service name of the first row matching the link, or fallbackName().
QString serviceName(const QUrl& link);

} // namespace MeetingLink
