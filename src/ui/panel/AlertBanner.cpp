#include "ui/panel/AlertBanner.h"

#include "core/model/Fmt.h"
#include "core/model/MeetingLink.h"
#include "core/store/EventStore.h"
#include "ui/controls/IconButton.h"
#include "ui/controls/JoinButton.h"
#include "ui/controls/Symbol.h"
#include "ui/controls/Theme.h"
#include "ui/notch/NotchState.h"

#include <QPainter>

#include <cmath>

namespace {

const QString separator = QStringLiteral(" \u00b7 ");

constexpr qreal bellSize = 10;
constexpr qreal bellGap = 6;
constexpr qreal barWidth = 3;
constexpr qreal barHeight = 26;
constexpr qreal rowSpacing = 10;
constexpr qreal iconGap = 5;
constexpr qreal lineGap = 1;
// The flexible space before the buttons, at least 8, and the row's spacing around it.
constexpr qreal textToButtons = 8 + rowSpacing;

} // namespace

AlertBanner::AlertBanner(EventStore& store, NotchState& state, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_state(state)
    , m_headline(Theme::uiFont(12, QFont::DemiBold))
    , m_time(Theme::uiFont(11.5, QFont::Medium))
    , m_icon(Theme::uiFont(12))
    , m_title(Theme::uiFont(13, QFont::DemiBold))
    , m_subtitle(Theme::uiFont(10.5))
    , m_join(new JoinButton(CalEvent(), false, store, this))
    , m_dismiss(new IconButton(
          QStringLiteral("xmark"), tr("Dismiss"), [&store] { store.dismissAlert(); }, this)) {
    setAttribute(Qt::WA_TranslucentBackground);
    m_join->hide();
    connect(&m_store, &EventStore::alertChanged, this, &AlertBanner::refresh);
    connect(&m_store, &EventStore::nowChanged, this, &AlertBanner::tick);
    connect(&m_state, &NotchState::geometryChanged, this, &AlertBanner::place);
    refresh();
}

QString AlertBanner::headline(const CalEvent& event, const QDateTime& now) {
    const qint64 minutes = qint64(std::ceil(double(now.msecsTo(event.start)) / 60000.0));
    if (minutes >= 1)
        return tr("Starts in ") + Fmt::minutesShort(minutes);
    if (event.start <= now && event.end > now)
        return tr("Meeting started");
    return tr("Starting now");
}

QString AlertBanner::subtitle(const CalEvent& event) {
    QStringList parts;
    if (const std::optional<QUrl> link = event.meetingURL())
        parts << MeetingLink::serviceName(*link);
    else if (event.location)
        parts << *event.location;
    parts << event.calendarName;
    return parts.join(separator);
}

QString AlertBanner::timeText(const CalEvent& event, const Cal& cal) {
    if (event.isAllDay)
        return tr("All day");
    return Fmt::range(event.start, event.end, cal);
}

QSize AlertBanner::sizeHint() const {
    const QSizeF notch = m_state.geometry().notchSize;
    return QSizeF(notch.width() + 2 * wingWidth, notch.height() + lowerRowHeight).toSize();
}

qreal AlertBanner::topRowHeight() const {
    return height() - lowerRowHeight;
}

void AlertBanner::refresh() {
    // An alert that went keeps its last look while it fades out.
    if (!m_store.alert())
        return;
    m_alert = m_store.alert();
    const CalEvent& event = m_alert->event;
    m_join->setEvent(event);
    m_join->setVisible(event.meetingURL().has_value());
    m_icon.set(event.notionIcon.value_or(QString()));
    place();
    tick();
    update();
}

void AlertBanner::tick() {
    if (!m_alert)
        return;
    const QString before = m_headline.text();
    const qreal maxWidth = wingWidth - padding - Symbol::side(bellSize) - bellGap;
    if (m_headline.set(headline(m_alert->event, m_store.now()), maxWidth) || before.isEmpty()) {
        setAccessibleName(m_headline.text() + QStringLiteral(": ") + m_title.text());
        update(QRect(0, 0, int(wingWidth), int(topRowHeight())));
    }
}

void AlertBanner::place() {
    if (!m_alert)
        return;
    const CalEvent& event = m_alert->event;
    const qreal w = width();
    const qreal rowTop = topRowHeight();
    const QSize dismiss = m_dismiss->size();
    m_dismiss->move(int(w - padding) - dismiss.width(),
                    int(rowTop + (lowerRowHeight - dismiss.height()) / 2));
    qreal buttonsLeft = m_dismiss->x();
    if (!m_join->isHidden()) {
        const QSize join = m_join->sizeHint();
        m_join->setGeometry(int(buttonsLeft - rowSpacing) - join.width(),
                            int(rowTop + (lowerRowHeight - join.height()) / 2), join.width(), join.height());
        buttonsLeft = m_join->x();
    }
    const qreal textLeft = padding + barWidth + rowSpacing;
    const qreal textWidth = std::max<qreal>(0, buttonsLeft - textToButtons - textLeft);
    const qreal iconWidth = m_icon.text().isEmpty() ? 0 : m_icon.width() + iconGap;
    m_title.set(event.title, std::max<qreal>(0, textWidth - iconWidth));
    m_subtitle.set(subtitle(event), textWidth);
    m_time.set(timeText(event, m_store.cal()), wingWidth - padding);
}

void AlertBanner::resizeEvent(QResizeEvent*) {
    place();
}

void AlertBanner::paintEvent(QPaintEvent*) {
    if (!m_alert)
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal top = topRowHeight();

    // The wings: bell and headline on the left, the time on the right.
    const qreal bell = Symbol::side(bellSize);
    Symbol::paint(p, u"bell.fill", QPointF(padding + bell / 2, top / 2), bellSize, Theme::orange(),
                  QFont::DemiBold);
    m_headline.draw(p, padding + bell + bellGap, m_headline.baselineIn(0, top), Theme::white());
    m_time.draw(p, width() - padding - m_time.width(), m_time.baselineIn(0, top), Theme::white(0.7));

    // The meeting: colour bar, then title over subtitle, centred on the row.
    const qreal midY = top + lowerRowHeight / 2;
    p.setPen(Qt::NoPen);
    p.setBrush(m_alert->event.color);
    p.drawRoundedRect(QRectF(padding, midY - barHeight / 2, barWidth, barHeight), 2, 2);

    const qreal textLeft = padding + barWidth + rowSpacing;
    const auto [titleBaseline, subtitleBaseline] =
        TextLine::stackedBaselines(m_title, m_subtitle, lineGap, midY);
    qreal x = textLeft;
    if (!m_icon.text().isEmpty()) {
        m_icon.draw(p, x, titleBaseline, Theme::white());
        x += m_icon.width() + iconGap;
    }
    m_title.draw(p, x, titleBaseline, Theme::white());
    m_subtitle.draw(p, textLeft, subtitleBaseline, Theme::white(0.55));
}
