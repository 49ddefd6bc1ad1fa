#include "ui/panel/DayList.h"

#include "core/calendar/CalendarStore.h"
#include "core/model/Tasks.h"
#include "core/settings/AppSettings.h"
#include "core/store/EventStore.h"
#include "ui/controls/ElidedText.h"
#include "ui/controls/MaybeScroll.h"
#include "ui/controls/PillButton.h"
#include "ui/controls/Symbol.h"
#include "ui/controls/Theme.h"
#include "ui/notch/NotchController.h"
#include "ui/notch/NotchState.h"
#include "ui/panel/EventRow.h"
#include "ui/panel/SourceFooter.h"

#include <QCoroTask>
#include <QPainter>
#include <QPointer>
#include <QShowEvent>
#include <QSpacerItem>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The rows' places: the first row's top, and from one row's top to the next.
constexpr int rowsTop = 4;
constexpr int rowPitch = EventRow::rowHeight + 1;

// A symbol standing on its own (the empty day's sun, the access prompt's calendar).
class SymbolView : public QWidget {
public:
    SymbolView(const QString& name, qreal size, QFont::Weight weight, const QColor& color, QWidget* parent)
        : QWidget(parent)
        , m_name(name)
        , m_weight(weight)
        , m_color(color) {
        const int side = int(std::ceil(Symbol::side(size)));
        setFixedSize(side, side);
        setAttribute(Qt::WA_TranslucentBackground);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        Symbol::paint(p, m_name, QRectF(rect()), m_color, m_weight);
    }

private:
    QString m_name;
    QFont::Weight m_weight;
    QColor m_color;
};

ElidedText* line(const QString& text, const QFont& font, const QColor& color, int maxLines, QWidget* parent) {
    auto* label = new ElidedText(text, font, color, maxLines, parent);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    return label;
}

// Creates the calendar folder, then reads everything again. The store may go while it waits.
QCoro::Task<> grantAccess(QPointer<EventStore> store) {
    QCoro::Task<> access = store->calendar().requestAccess();
    co_await access;
    if (!store)
        co_return;
    QCoro::Task<> refresh = store->refreshAll();
    co_await refresh;
}

} // namespace

DayList::Content DayList::content(CalendarAccess access, bool hasNotionEvents, bool hasGoogleEvents,
                                  bool hasGoogle, bool dayHasEvents) {
    if (access != CalendarAccess::fullAccess && !hasNotionEvents && !hasGoogleEvents && !hasGoogle)
        return Content::accessPrompt;
    return dayHasEvents ? Content::events : Content::emptyDay;
}

DayList::DayList(EventStore& store, NotchState& state, AppSettings& settings, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_state(state)
    , m_settings(settings)
    , m_rowsBox(new QWidget)
    , m_rowsHeight(new QSpacerItem(0, 0, QSizePolicy::Minimum, QSizePolicy::Fixed))
    , m_scroll(new MaybeScroll(m_rowsBox, this))
    , m_emptyDay(buildEmptyDay())
    , m_accessPrompt(buildAccessPrompt())
    , m_footer(new SourceFooter(store, settings, this)) {
    setAttribute(Qt::WA_TranslucentBackground);
    m_rowsBox->setAttribute(Qt::WA_TranslucentBackground);
    auto* rowsHeight = new QVBoxLayout(m_rowsBox);
    rowsHeight->setContentsMargins(0, 0, 0, 0);
    rowsHeight->addItem(m_rowsHeight);
    m_rowsBox->installEventFilter(this);
    connect(m_scroll, &MaybeScroll::scrolled, this, [this] { placeRows(false); });

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->addWidget(m_scroll);
    stack->addWidget(m_emptyDay);
    stack->addWidget(m_accessPrompt);

    connect(&m_store, &EventStore::eventsByDayChanged, this, &DayList::syncRows);
    connect(&m_store, &EventStore::selectedDateChanged, this, &DayList::dayChanged);
    connect(&m_store, &EventStore::nowChanged, this, &DayList::tick);
    connect(&m_store, &EventStore::googleEventsChanged, this, &DayList::refreshContent);
    connect(&m_store, &EventStore::notionEventsChanged, this, &DayList::refreshContent);
    connect(&m_store.calendar(), &CalendarStore::statusChanged, this, &DayList::refreshContent);
    connect(&m_settings, &AppSettings::googleChanged, this, &DayList::refreshContent);
    syncRows();
}

int DayList::rowTop(qsizetype index) {
    return rowsTop + int(index) * rowPitch;
}

QList<EventRow*> DayList::rows() const {
    QList<EventRow*> list;
    for (qsizetype i = m_first; i < m_last; ++i) {
        if (EventRow* row = m_rows.value(m_events[i].id); row && !list.contains(row))
            list << row;
    }
    return list;
}

QWidget* DayList::buildEmptyDay() {
    auto* box = new QWidget(this);
    auto* column = new QVBoxLayout(box);
    column->setSpacing(6);
    column->addStretch(1);
    column->addWidget(new SymbolView(QStringLiteral("sun.max"), 22, QFont::Light, Theme::white(0.4), box), 0,
                      Qt::AlignHCenter);
    column->addWidget(
        line(tr("Nothing scheduled"), Theme::uiFont(13, QFont::Medium), Theme::white(0.7), 1, box));
    auto* add = new PillButton(tr("Add an event"), NotchPillStyle{}, [] {
        if (NotchController* controller = NotchController::shared())
            controller->openQuickAdd(QString());
    });
    column->addSpacing(4);
    column->addWidget(add, 0, Qt::AlignHCenter);
    column->addStretch(1);
    return box;
}

QWidget* DayList::buildAccessPrompt() {
    auto* box = new QWidget(this);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(30, 0, 30, 0);
    column->setSpacing(10);
    column->addStretch(1);
    column->addWidget(new SymbolView(QStringLiteral("calendar.badge.exclamationmark"), 24, QFont::Light,
                                     Theme::white(0.5), box),
                      0, Qt::AlignHCenter);
    m_accessHeadline = line(QString(), Theme::uiFont(13, QFont::Medium), Theme::white(), 1, box);
    column->addWidget(m_accessHeadline);
    m_accessText =
        line(tr("Vorrindel can\u2019t read its calendar folder. Check the folder\u2019s permissions."),
             Theme::uiFont(11), Theme::white(0.6), 0, box);
    column->addWidget(m_accessText);
    m_accessButton = new PillButton(QString(), NotchPillStyle{.prominent = true}, box);
    connect(m_accessButton, &QAbstractButton::clicked, this, [this] {
        if (m_store.calendar().isDenied()) {
            CalendarStore::openPrivacySettings([this](const QUrl& url) { return m_store.openUrl(url); });
            return;
        }
        QTimer::singleShot(0, &m_store, [store = QPointer(&m_store)] {
            Tasks::startDetached(grantAccess(store), QStringLiteral("Calendar access"));
        });
    });
    column->addWidget(m_accessButton, 0, Qt::AlignHCenter);
    column->addStretch(1);
    return box;
}

QString DayList::accessHeadline() const {
    return m_accessHeadline->text();
}

void DayList::refreshAccessPrompt() {
    const bool denied = m_store.calendar().isDenied();
    m_accessHeadline->setText(denied ? tr("Calendar access was denied")
                                     : tr("Vorrindel needs calendar access"));
    m_accessText->setVisible(denied);
    m_accessButton->setText(denied ? tr("Open Calendar Folder") : tr("Grant access"));
    m_accessButton->setAccessibleName(m_accessButton->text());
    m_accessButton->updateGeometry();
}

void DayList::refreshContent() {
    const Content next =
        content(m_store.calendar().status(), !m_store.notionEvents().isEmpty(),
                !m_store.googleEvents().isEmpty(), m_settings.hasGoogle(), !m_events.isEmpty());
    if (next == Content::accessPrompt)
        refreshAccessPrompt();
    const Content before = std::exchange(m_content, next);
    m_scroll->setVisible(next == Content::events);
    m_emptyDay->setVisible(next == Content::emptyDay);
    m_accessPrompt->setVisible(next == Content::accessPrompt);
    if (before != next && next == Content::events)
        scrollToStart();
}

void DayList::syncRows() {
    m_events = m_store.events(m_store.selectedDate());
    m_rowsHeight->changeSize(0, m_events.isEmpty() ? 0 : rowTop(m_events.size()), QSizePolicy::Minimum,
                             QSizePolicy::Fixed);
    m_rowsBox->layout()->invalidate();
    placeRows(true);
    refreshContent();
}

void DayList::placeRows(bool newerEvents) {
    const int top = m_scroll->scrollPosition();
    const qsizetype count = m_events.size();
    const qsizetype first = std::clamp<qsizetype>((top - rowsTop) / rowPitch - rowMargin, 0, count);
    const qsizetype last =
        std::clamp<qsizetype>((top + m_scroll->height() - rowsTop) / rowPitch + 1 + rowMargin, first, count);
    const int width = m_rowsBox->width();
    // Scrolled or resized within the rows already made: each stands where it should.
    if (!newerEvents && first == m_first && last == m_last && width == m_rowsWidth)
        return;
    QHash<QString, EventRow*> kept;
    kept.reserve(last - first);
    for (qsizetype i = first; i < last; ++i) {
        const CalEvent& event = m_events[i];
        if (kept.contains(event.id))
            continue;
        EventRow* row = m_rows.take(event.id);
        if (!row) {
            row = new EventRow(event, m_store, m_rowsBox);
            connect(row, &EventRow::activated, this,
                    [this](const CalEvent& e) { m_state.setSelectedEvent(e); });
        } else if (newerEvents) {
            row->setEvent(event);
        }
        row->setGeometry(0, rowTop(i), width, EventRow::rowHeight);
        row->show();
        kept.insert(event.id, row);
    }
    // Rows of events that left the day, or the screen's neighbourhood.
    qDeleteAll(m_rows);
    m_rows = std::move(kept);
    m_first = first;
    m_last = last;
    m_rowsWidth = width;
}

void DayList::tick() {
    for (EventRow* row : std::as_const(m_rows))
        row->refresh();
}

void DayList::dayChanged() {
    syncRows();
    // The day's rows may have stayed (an event over several days): their past and countdown follow
    // the new day.
    tick();
    scrollToStart();
}

void DayList::scrollToStart() {
    if (m_content != Content::events)
        return;
    const std::optional<CalEvent> next =
        m_store.isViewingToday() ? m_store.nextEvent(m_store.selectedDate()) : std::nullopt;
    const auto target = next ? std::find_if(m_events.cbegin(), m_events.cend(),
                                            [&](const CalEvent& event) { return event.id == next->id; })
                             : m_events.cend();
    if (target != m_events.cend())
        m_scroll->scrollTo(rowTop(target - m_events.cbegin()));
    else
        m_scroll->setScrollPosition(0);
}

void DayList::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // On screen anew (the panel opened, or the agenda came back from an event's detail).
    if (!event->spontaneous())
        scrollToStart();
}

bool DayList::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_rowsBox && event->type() == QEvent::Resize)
        placeRows(false);
    return QWidget::eventFilter(watched, event);
}

void DayList::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_footer->reposition();
    placeRows(false);
}
