#include "core/remote/LoopbackPage.h"

#include <QFile>

namespace {

const char16_t* const styleSheet = uR"(:root { color-scheme: light }
* { box-sizing: border-box }
body { margin: 0; min-height: 100vh; display: flex; align-items: center; justify-content: center; font-family: -apple-system, BlinkMacSystemFont, "SF Pro Text", Inter, "Helvetica Neue", sans-serif; color: #1d1d1f; background: #d9c6f6; background-image: radial-gradient(60% 90% at 15% 10%, #ffd1a6 0%, transparent 60%), radial-gradient(50% 80% at 85% 20%, #9fb7ff 0%, transparent 60%), radial-gradient(70% 70% at 55% 100%, #e7a3ff 0%, transparent 60%), linear-gradient(180deg, #f5d4c2 0%, #c6b9f0 45%, #7f86d6 100%); background-attachment: fixed }
.card { position: relative; width: min(440px, calc(100% - 40px)); background: #fff; border-radius: 28px; padding: 44px 36px 34px; text-align: center; box-shadow: 0 40px 80px -30px rgba(0,0,0,.45), 0 0 0 1px rgba(0,0,0,.05); animation: rise .55s cubic-bezier(.2,.8,.2,1) both }
.brand { position: absolute; top: 20px; left: 22px; color: #6e6e73 }
.brand svg { height: 13px; width: auto; display: block }
.avatar { position: relative; width: 112px; height: 112px; margin: 8px auto 18px }
.avatar img { width: 112px; height: 112px; border-radius: 25px; box-shadow: 0 12px 30px -10px rgba(0,0,0,.35), 0 0 0 1px rgba(0,0,0,.06) }
.badge { position: absolute; right: -2px; bottom: -2px; width: 38px; height: 38px; border-radius: 50%; display: grid; place-items: center; border: 3px solid #fff; animation: pop .5s .35s cubic-bezier(.2,.8,.2,1) both }
.badge.ok { background: #34c759 }
.badge.no { background: #8e8e93 }
.badge svg { width: 20px; height: 20px; fill: none; stroke: #fff; stroke-width: 3; stroke-linecap: round; stroke-linejoin: round }
h1 { font-size: 24px; letter-spacing: -.02em; margin: 0 0 8px }
p { font-size: 15px; line-height: 1.5; color: #6e6e73; margin: 0 auto; max-width: 340px }
.btn { display: inline-block; margin-top: 24px; padding: 12px 24px; border-radius: 999px; background: #0071e3; color: #fff; font-weight: 600; font-size: 15px; text-decoration: none }
.btn:hover { background: #0077ed }
.hint { margin-top: 14px; font-size: 12.5px; color: #a1a1a6 }
@keyframes rise { from { opacity: 0; transform: translateY(14px) } to { opacity: 1; transform: none } }
@keyframes pop { from { opacity: 0; transform: scale(.4) } to { opacity: 1; transform: scale(1) } })";

// A blocky lower-case "vorrindel" drawn on a 36 × 7 grid.
const char16_t* const wordmark =
    u"M0 2h1l1 4l1-4h1l-1.5 5h-1zM5 2h4v1h-4zM5 6h4v1h-4zM5 3h1v3h-1zM8 3h1v3h-1zM10 2h1v5h-1zM11 2h2v1h-2z"
    u"M14 2h1v5h-1zM15 2h2v1h-2zM18 2h1v5h-1zM18 0h1v1h-1zM20 2h1v5h-1zM21 2h2v1h-2zM23 2h1v5h-1zM28 "
    u"0h1v7h-1z"
    u"M25 2h3v1h-3zM25 6h3v1h-3zM25 3h1v3h-1zM30 2h4v1h-4zM30 4h4v1h-4zM30 6h4v1h-4zM30 3h1v1h-1zM33 "
    u"3h1v1h-1z"
    u"M35 0h1v7h-1z";

// The app icon shown on the page, as a data URI; empty when the icon resource is missing.
QString iconDataUri() {
    QFile icon(QStringLiteral(":/icons/icon-256.png"));
    if (!icon.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = icon.readAll();
    if (bytes.isEmpty())
        return {};
    return QStringLiteral("data:image/png;base64,") + QString::fromLatin1(bytes.toBase64());
}

} // namespace

namespace LoopbackPage {

QString html(bool success) {
    // Read and encoded once: the icon never changes while the app runs.
    static const QString icon = iconDataUri();
    const QString title =
        success ? QStringLiteral("Google Calendar connected") : QStringLiteral("Sign-in cancelled");
    const QString message =
        success ? QStringLiteral(
                      "Vorrindel is syncing your calendars now. Your events will show up in the notch in a "
                      "moment.")
                : QStringLiteral(
                      "No changes were made. You can try again from Vorrindel’s settings whenever you like.");
    const QString link =
        success ? QStringLiteral("vorrindel://open") : QStringLiteral("vorrindel://settings");
    const QString button = success ? QStringLiteral("Open Vorrindel") : QStringLiteral("Back to Vorrindel");
    const QString badge =
        success ? QStringLiteral(
                      "<span class=\"badge ok\"><svg viewBox=\"0 0 24 24\"><path d=\"M5 12.5l4.5 4.5L19 "
                      "7.5\"/></svg></span>")
                : QStringLiteral(
                      "<span class=\"badge no\"><svg viewBox=\"0 0 24 24\"><path d=\"M7 7l10 10M17 7L7 "
                      "17\"/></svg></span>");

    QString page;
    page += QStringLiteral("<!doctype html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n");
    page += QStringLiteral("<meta name=\"viewport\" content=\"width=device-width,initial-scale=1\">\n");
    page += QStringLiteral("<title>Vorrindel — %1</title>\n").arg(title);
    page += QStringLiteral("<style>\n") + QString::fromUtf16(styleSheet) + QStringLiteral("\n</style>\n");
    page += QStringLiteral("</head>\n<body>\n<div class=\"card\">\n");
    page += QStringLiteral(
                "  <div class=\"brand\"><svg class=\"wm\" xmlns=\"http://www.w3.org/2000/svg\" "
                "viewBox=\"0 0 36 7\" role=\"img\" aria-label=\"vorrindel\"><path fill=\"currentColor\" "
                "d=\"%1\"/></svg></div>\n")
                .arg(QString::fromUtf16(wordmark));
    page += QStringLiteral("  <div class=\"avatar\"><img src=\"%1\" alt=\"\">%2</div>\n").arg(icon, badge);
    page += QStringLiteral("  <h1>%1</h1>\n").arg(title);
    page += QStringLiteral("  <p>%1</p>\n").arg(message);
    page += QStringLiteral("  <a class=\"btn\" href=\"%1\">%2</a>\n").arg(link, button);
    page += QStringLiteral("  <div class=\"hint\">You can close this tab. Nothing about your calendar leaves "
                           "your computer.</div>\n");
    page += QStringLiteral("</div>\n</body>\n</html>\n");
    return page;
}

} // namespace LoopbackPage
