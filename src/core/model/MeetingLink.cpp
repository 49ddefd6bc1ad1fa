#include "core/model/MeetingLink.h"
#include "core/model/TextRules.h"

namespace MeetingLink {

namespace {

QString matchKey(const QUrl& link, bool withPath) {
    QString key = link.host(QUrl::FullyDecoded).toLower();
    if (withPath)
        key += link.path(QUrl::FullyDecoded).toLower();
    return key;
}

const Service* serviceFor(const QUrl& link) {
    const QString host = matchKey(link, false);
    const QString hostAndPath = matchKey(link, true);
    for (const Service& service : services()) {
        // A host-only pattern is looked for in the host alone, so that a page that merely mentions a
        // meeting host in its path ("example.com/help/zoom.us") is not taken for a meeting.
        const bool withPath = service.pattern.contains(QLatin1Char('/'));
        if ((withPath ? hostAndPath : host).contains(service.pattern))
            return &service;
    }
    return nullptr;
}

} // namespace

const QList<Service>& services() {
    static const QList<Service> table = {
        {QStringLiteral("zoom.us"), QStringLiteral("Zoom")},
        {QStringLiteral("zoomgov.com"), QStringLiteral("Zoom")},
        {QStringLiteral("meet.google.com"), QStringLiteral("Google Meet")},
        {QStringLiteral("teams.microsoft.com"), QStringLiteral("Teams")},
        {QStringLiteral("teams.live.com"), QStringLiteral("Teams")},
        {QStringLiteral("webex.com"), QStringLiteral("Webex")},
        {QStringLiteral("whereby.com"), QStringLiteral("Whereby")},
        {QStringLiteral("around.co"), QStringLiteral("Around")},
        {QStringLiteral("meet.jit.si"), QStringLiteral("Jitsi")},
        {QStringLiteral("gather.town"), QStringLiteral("Gather")},
        {QStringLiteral("tuple.app"), QStringLiteral("Tuple")},
        {QStringLiteral("app.cal.com/video"), QStringLiteral("Cal.com")},
        {QStringLiteral("slack.com/huddle"), QStringLiteral("Slack Huddle")},
        {QStringLiteral("discord.gg"), QStringLiteral("Discord")},
        {QStringLiteral("discord.com/invite"), QStringLiteral("Discord")},
        {QStringLiteral("facetime.apple.com"), QStringLiteral("FaceTime")},
    };
    return table;
}

const QRegularExpression& regex() {
    static const QRegularExpression re = TextRules::compiled(QStringLiteral(R"(https?://[^\s<>"')\]]+)"),
                                                             QRegularExpression::UseUnicodePropertiesOption);
    return re;
}

QString fallbackName() {
    return QStringLiteral("Video call");
}

std::optional<QUrl> detect(const QList<std::optional<QString>>& texts) {
    static const QString trailing = QStringLiteral(".,;:!?");
    for (const auto& text : texts) {
        if (!text)
            continue;
        auto matches = regex().globalMatch(*text);
        while (matches.hasNext()) {
            QStringView candidate = matches.next().capturedView();
            while (!candidate.isEmpty() && trailing.contains(candidate.back()))
                candidate.chop(1);
            const QUrl link(candidate.toString(), QUrl::StrictMode);
            if (!link.isValid() || link.host().isEmpty())
                continue;
            if (serviceFor(link))
                return link;
        }
    }
    return std::nullopt;
}

QString serviceName(const QUrl& link) {
    const Service* service = serviceFor(link);
    return service ? service->name : fallbackName();
}

} // namespace MeetingLink
