#include "ui/panel/SourceFooter.h"

#include "core/model/Fmt.h"
#include "core/settings/AppSettings.h"
#include "core/store/EventStore.h"
#include "ui/controls/Symbol.h"
#include "ui/controls/Theme.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {

constexpr qreal fontSize = 9.5;
constexpr qreal paddingX = 8;
constexpr qreal paddingY = 3;
constexpr qreal symbolGap = 4;
constexpr int bottomPadding = 2;
// Room the pill leaves on either side within its parent.
constexpr int sideMargin = 12;

const QString separator = QStringLiteral(" \u00b7 ");

} // namespace

std::optional<QString> SourceFooter::syncedText(bool hasGoogle,
                                                const std::optional<QDateTime>& googleLastSync,
                                                bool hasNotion,
                                                const std::optional<QDateTime>& notionLastSync,
                                                const QDateTime& now, const Cal& cal) {
    // The store's clock moves every 10 seconds, so a sync that just ended may lie a few seconds ahead
    // of it: it has happened, it is never "in 5 sec.".
    auto ago = [&](const QDateTime& instant) {
        return Fmt::relative(std::min(instant, now.addMSecs(-1)), now, cal);
    };
    QStringList parts;
    if (hasGoogle && googleLastSync)
        parts << QStringLiteral("Google ") + ago(*googleLastSync);
    if (hasNotion && notionLastSync)
        parts << QStringLiteral("Notion ") + ago(*notionLastSync);
    if (parts.isEmpty())
        return std::nullopt;
    return tr("Synced") + separator + parts.join(separator);
}

std::optional<SourceFooter::Message> SourceFooter::message(const std::optional<QString>& toast,
                                                           const std::optional<QString>& googleError,
                                                           const std::optional<QString>& notionError,
                                                           const std::optional<QString>& synced) {
    if (toast)
        return Message{QStringLiteral("checkmark.circle.fill"), *toast, Theme::green()};
    if (googleError)
        return Message{QStringLiteral("exclamationmark.triangle.fill"),
                       QStringLiteral("Google: ") + *googleError, Theme::orange()};
    if (notionError)
        return Message{QStringLiteral("exclamationmark.triangle.fill"),
                       QStringLiteral("Notion: ") + *notionError, Theme::orange()};
    if (synced)
        return Message{QStringLiteral("checkmark.circle"), *synced, Theme::white(0.4)};
    return std::nullopt;
}

SourceFooter::SourceFooter(EventStore& store, AppSettings& settings, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_settings(settings)
    , m_text(Theme::uiFont(fontSize)) {
    setAttribute(Qt::WA_TranslucentBackground);
    // Only a message: the rows under it stay clickable.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
    for (auto signal :
         {&EventStore::toastChanged, &EventStore::googleErrorChanged, &EventStore::notionErrorChanged,
          &EventStore::googleLastSyncChanged, &EventStore::notionLastSyncChanged, &EventStore::nowChanged})
        connect(&m_store, signal, this, &SourceFooter::refresh);
    connect(&m_settings, &AppSettings::changed, this, &SourceFooter::refresh);
    refresh();
}

void SourceFooter::refresh() {
    const std::optional<QString> synced =
        syncedText(m_settings.hasGoogle(), m_store.googleLastSync(), m_settings.hasNotion(),
                   m_store.notionLastSync(), m_store.now(), m_store.cal());
    std::optional<Message> next =
        message(m_store.toast(), m_store.googleError(), m_store.notionError(), synced);
    if (next == m_message)
        return;
    m_message = std::move(next);
    setAccessibleName(m_message ? m_message->text : QString());
    setVisible(m_message.has_value());
    reposition();
    update();
}

void SourceFooter::reposition() {
    QWidget* parent = parentWidget();
    if (!m_message || !parent)
        return;
    const qreal symbol = Symbol::side(fontSize);
    const qreal chrome = 2 * paddingX + symbol + symbolGap;
    m_text.set(m_message->text, std::max<qreal>(0, parent->width() - 2 * sideMargin - chrome));
    const int w = int(std::ceil(chrome + m_text.width()));
    const int h = int(std::round(m_text.height() + 2 * paddingY));
    setGeometry((parent->width() - w) / 2, parent->height() - bottomPadding - h, w, h);
    raise();
}

void SourceFooter::paintEvent(QPaintEvent*) {
    if (!m_message)
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds(rect());
    QPainterPath capsule;
    capsule.addRoundedRect(bounds, bounds.height() / 2, bounds.height() / 2);
    p.fillPath(capsule, Theme::black(0.85));
    const qreal symbol = Symbol::side(fontSize);
    Symbol::paint(p, m_message->symbol, QPointF(paddingX + symbol / 2, bounds.height() / 2), fontSize,
                  m_message->tint);
    m_text.draw(p, paddingX + symbol + symbolGap, m_text.baselineIn(0, bounds.height()), m_message->tint);
}
