#include "ui/panel/HeaderBand.h"

#include "core/model/Fmt.h"
#include "core/model/Tasks.h"
#include "core/model/TextRules.h"
#include "core/store/EventStore.h"
#include "ui/controls/ElidedText.h"
#include "ui/controls/IconButton.h"
#include "ui/controls/PillButton.h"
#include "ui/controls/Theme.h"
#include "ui/notch/NotchController.h"
#include "ui/notch/NotchState.h"
#include "ui/settings/SettingsOpener.h"

#include <QPainter>
#include <QPointer>
#include <QTimer>

#include <cmath>

namespace {

constexpr qreal buttonSpacing = 5;
constexpr qreal lineGap = 1;

const QString separator = QStringLiteral(" \u00b7 ");

// The subtitle in three pieces: the count (with the separator when a next event follows), that
// event's title, and a blank with its countdown.
struct SubtitleParts {
    QString count;
    QString title;
    QString countdown;
};

SubtitleParts subtitleParts(qsizetype count, const std::optional<CalEvent>& next, bool viewingToday,
                            const QDateTime& now) {
    if (count == 0)
        return {HeaderBand::tr("Nothing scheduled"), {}, {}};
    SubtitleParts parts{
        QString::number(count) + (count == 1 ? HeaderBand::tr(" event") : HeaderBand::tr(" events")), {}, {}};
    if (viewingToday && next) {
        if (const std::optional<QString> countdown = Fmt::countdown(*next, now)) {
            parts.count += separator;
            // Fitting measures the title: only as much as a screen can show of it.
            parts.title = TextRules::cutToScreen(next->title);
            parts.countdown = QLatin1Char(' ') + *countdown;
        }
    }
    return parts;
}

} // namespace

QString HeaderBand::subtitle(qsizetype count, const std::optional<CalEvent>& next, bool viewingToday,
                             const QDateTime& now) {
    const SubtitleParts parts = subtitleParts(count, next, viewingToday, now);
    return parts.count + parts.title + parts.countdown;
}

QString HeaderBand::fittedSubtitle(qsizetype count, const std::optional<CalEvent>& next, bool viewingToday,
                                   const QDateTime& now, const QFontMetricsF& metrics, qreal maxWidth) {
    const SubtitleParts parts = subtitleParts(count, next, viewingToday, now);
    const QString whole = parts.count + parts.title + parts.countdown;
    // Half a pixel of slack, as the line itself allows.
    if (parts.title.isEmpty() || ElidedText::elidedLine(metrics, whole, maxWidth + 0.5) == whole)
        return whole;
    const qreal room =
        maxWidth + 0.5 - metrics.horizontalAdvance(parts.count) - metrics.horizontalAdvance(parts.countdown);
    const QString title = ElidedText::elidedLine(metrics, parts.title, std::max<qreal>(0, room));
    // Without room for even "…" of the title the line is cut at its end like any other.
    return title.isEmpty() ? whole : parts.count + title + parts.countdown;
}

int HeaderBand::bandHeight(qreal notchHeight) {
    return std::max(int(std::round(notchHeight)), minimumHeight);
}

HeaderBand::HeaderBand(NotchState& state, EventStore& store, QWidget* parent)
    : QWidget(parent)
    , m_state(state)
    , m_store(store)
    , m_title(Theme::uiFont(13, QFont::DemiBold))
    , m_subtitle(Theme::uiFont(10.5))
    , m_today(new PillButton(
          tr("Today"), NotchPillStyle{}, [&store] { store.goToToday(); }, this))
    , m_plus(new IconButton(QStringLiteral("plus"), tr("New event (Ctrl+Alt+N)"), this))
    , m_refresh(new IconButton(QStringLiteral("arrow.clockwise"), tr("Refresh"), this))
    , m_pin(new IconButton(QStringLiteral("pin"), tr("Keep open"), this))
    , m_settings(new IconButton(
          QStringLiteral("gearshape"), tr("Settings"), [] { SettingsOpener::open(); }, this)) {
    setAttribute(Qt::WA_TranslucentBackground);
    m_today->setAccessibleName(m_today->text());

    connect(m_plus, &QAbstractButton::clicked, this, [this] {
        NotchController* controller = NotchController::shared();
        if (!controller)
            return;
        if (m_state.quickAdd())
            controller->closeQuickAdd(false);
        else
            controller->openQuickAdd(QString());
    });
    connect(m_refresh, &QAbstractButton::clicked, this, [this] {
        // Started on a later turn, like any task begun from a click; errors show in the footer.
        QTimer::singleShot(0, &m_store, [store = QPointer(&m_store)] {
            if (store)
                Tasks::startDetached(store->refreshAll(), QStringLiteral("Full refresh"));
        });
    });
    connect(m_pin, &QAbstractButton::clicked, this, [] {
        if (NotchController* controller = NotchController::shared())
            controller->togglePinned();
    });

    for (auto signal :
         {&EventStore::selectedDateChanged, &EventStore::eventsByDayChanged, &EventStore::nowChanged})
        connect(&m_store, signal, this, &HeaderBand::refreshTexts);
    for (auto signal : {&EventStore::selectedDateChanged, &EventStore::nowChanged,
                        &EventStore::isSyncingGoogleChanged, &EventStore::isSyncingNotionChanged})
        connect(&m_store, signal, this, &HeaderBand::refreshButtons);
    for (auto signal : {&NotchState::quickAddChanged, &NotchState::pinnedChanged})
        connect(&m_state, signal, this, &HeaderBand::refreshButtons);
    connect(&m_state, &NotchState::geometryChanged, this, &HeaderBand::place);
    refreshButtons();
    refreshTexts();
}

qreal HeaderBand::blockWidth() const {
    const qreal gapWidth = m_state.geometry().notchSize.width() + 2 * notchClearance;
    return std::max<qreal>(0, (width() - gapWidth) / 2);
}

QRectF HeaderBand::gap() const {
    const qreal block = blockWidth();
    return QRectF(block, 0, width() - 2 * block, height());
}

void HeaderBand::refreshTexts() {
    const QDateTime& day = m_store.selectedDate();
    const qsizetype count = m_store.events(day).size();
    const bool today = m_store.isViewingToday();
    const QString title = Fmt::dayHeader(day, m_store.cal());
    const std::optional<CalEvent> next = today ? m_store.nextEvent(day) : std::nullopt;
    const QString whole = subtitle(count, next, today, m_store.now());
    const qreal width = blockWidth();
    const bool titleChanged = m_title.set(title, width);
    // Fitting measures the text: only when the text or its room changed, not on every tick.
    bool subtitleChanged = false;
    if (whole != m_wholeSubtitle || width != m_subtitleWidth) {
        m_wholeSubtitle = whole;
        m_subtitleWidth = width;
        subtitleChanged = m_subtitle.set(
            fittedSubtitle(count, next, today, m_store.now(), QFontMetricsF(m_subtitle.font()), width),
            width);
    }
    if (!titleChanged && !subtitleChanged)
        return;
    setAccessibleName(title);
    setAccessibleDescription(whole);
    update(QRectF(0, 0, width, height()).toAlignedRect());
}

void HeaderBand::refreshButtons() {
    const bool todayShown = !m_store.isViewingToday() && !m_state.quickAdd();
    const bool relayout = m_today->isHidden() == todayShown;
    m_today->setVisible(todayShown);
    m_plus->setActive(m_state.quickAdd());
    m_refresh->setSpinning(m_store.isSyncingGoogle() || m_store.isSyncingNotion());
    const bool pinned = m_state.pinned();
    m_pin->setSymbol(pinned ? QStringLiteral("pin.fill") : QStringLiteral("pin"));
    m_pin->setHelp(pinned ? tr("Unpin") : tr("Keep open"));
    m_pin->setActive(pinned);
    if (relayout)
        place();
}

void HeaderBand::place() {
    const qreal h = height();
    qreal right = width();
    for (QWidget* button :
         {static_cast<QWidget*>(m_settings), static_cast<QWidget*>(m_pin), static_cast<QWidget*>(m_refresh),
          static_cast<QWidget*>(m_plus), static_cast<QWidget*>(m_today)}) {
        if (button->isHidden())
            continue;
        const QSize size = button->sizeHint();
        button->setGeometry(int(std::round(right)) - size.width(), int(std::round((h - size.height()) / 2)),
                            size.width(), size.height());
        right = button->x() - buttonSpacing;
    }
    // The texts are cut to the left half.
    refreshTexts();
    update();
}

void HeaderBand::resizeEvent(QResizeEvent*) {
    place();
}

void HeaderBand::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const auto [titleBaseline, subtitleBaseline] =
        TextLine::stackedBaselines(m_title, m_subtitle, lineGap, height() / 2.0);
    m_title.draw(p, 0, titleBaseline, Theme::white());
    m_subtitle.draw(p, 0, subtitleBaseline, Theme::white(0.55));
}
