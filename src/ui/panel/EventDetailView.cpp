#include "ui/panel/EventDetailView.h"

#include "core/model/DebugLog.h"
#include "core/model/Tasks.h"
#include "core/model/TextRules.h"
#include "core/model/UserFacingError.h"
#include "core/store/EventStore.h"
#include "ui/controls/ElidedText.h"
#include "ui/controls/FlowLayout.h"
#include "ui/controls/IconButton.h"
#include "ui/controls/Launch.h"
#include "ui/controls/MaybeScroll.h"
#include "ui/controls/Motion.h"
#include "ui/controls/PillButton.h"
#include "ui/controls/Symbol.h"
#include "ui/controls/Theme.h"
#include "ui/notch/NotchController.h"

#include <QFontMetricsF>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <QTimer>
#include <QVBoxLayout>
#include <QVariantAnimation>

#include <cmath>

namespace M = EventDetailModel;

namespace {

// Chips and badges never take more than this much of a row for their text.
constexpr int maxChipText = 200;
constexpr int maxBadgeText = 220;

QColor capsuleFill(const QColor& color, qreal opacity) {
    QColor c = color;
    c.setAlphaF(float(opacity));
    return c;
}

void paintCapsule(QPainter& p, const QRectF& box, const QColor& fill) {
    QPainterPath path;
    path.addRoundedRect(box, box.height() / 2, box.height() / 2);
    p.fillPath(path, fill);
}

// Fades a widget in that has just been shown (the footer or the confirmation taking its place).
void fadeIn(QWidget* widget) {
    if (!Motion::enabled())
        return;
    auto* effect = new QGraphicsOpacityEffect(widget);
    effect->setOpacity(0);
    widget->setGraphicsEffect(effect);
    auto* fade = new QPropertyAnimation(effect, "opacity", effect);
    fade->setDuration(180);
    fade->setEasingCurve(Motion::easeInOut());
    fade->setStartValue(0.0);
    fade->setEndValue(1.0);
    // The effect costs a render pass of its own: gone once the fade is over.
    QObject::connect(fade, &QAbstractAnimation::finished, widget,
                     [widget] { widget->setGraphicsEffect(nullptr); });
    fade->start();
}

} // namespace

// The view's own small widgets.
namespace EventDetailParts {

// A symbol standing in a box of its own, beside a line of text.
class SymbolIcon : public QWidget {
public:
    SymbolIcon(const QString& symbol, qreal fontSize, const QColor& color, QSize box, QWidget* parent)
        : QWidget(parent)
        , m_symbol(symbol)
        , m_fontSize(fontSize)
        , m_color(color)
        , m_box(box) {
        setFixedSize(box);
    }
    QSize sizeHint() const override { return m_box; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        Symbol::paint(p, m_symbol, QRectF(rect()).center(), m_fontSize, m_color);
    }

private:
    QString m_symbol;
    qreal m_fontSize;
    QColor m_color;
    QSize m_box;
};

// One detail line: a dim symbol and up to two lines of selectable text, the symbol centred on the
// first line.
class DetailLine : public QWidget {
public:
    DetailLine(const QString& symbol, QWidget* parent)
        : QWidget(parent) {
        const QFont font = Theme::uiFont(12);
        const int lineHeight = int(std::ceil(QFontMetricsF(font).height()));
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(7);
        row->addWidget(
            new SymbolIcon(symbol, 11, Theme::white(Theme::Opacity::symbol), QSize(14, lineHeight), this), 0,
            Qt::AlignTop);
        m_text = new ElidedText(QString(), font, Theme::white(), 2, this);
        m_text->setSelectable(true);
        row->addWidget(m_text, 1);
    }
    void setText(const QString& text) { m_text->setText(text); }
    QString text() const { return m_text->text(); }

private:
    ElidedText* m_text;
};

// An attendee: the answer's symbol in its colour and the name, on a faint capsule; the organiser's
// name in semibold.
class AttendeeChip : public QWidget {
public:
    explicit AttendeeChip(QWidget* parent)
        : QWidget(parent) {
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }

    void setChip(const M::Chip& chip) {
        if (chip == m_chip)
            return;
        m_chip = chip;
        setAccessibleName(chip.name);
        updateGeometry();
        update();
    }
    const M::Chip& chip() const { return m_chip; }

    QSize sizeHint() const override {
        const QFontMetricsF metrics(font());
        const qreal text = std::min<qreal>(ElidedText::lineWidth(metrics, m_chip.name), maxChipText);
        const qreal side = Symbol::side(9);
        return QSize(int(std::ceil(7 + side + 4 + text + 7)),
                     int(std::ceil(std::max(metrics.height(), side) + 6)));
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF box(rect());
        paintCapsule(p, box, Theme::white(0.1));
        const qreal side = Symbol::side(9);
        Symbol::paint(p, M::statusSymbol(m_chip.status), QPointF(7 + side / 2, box.center().y()), 9,
                      M::statusColor(m_chip.status));
        const QFont f = font();
        p.setFont(f);
        p.setPen(Theme::white());
        const QRectF textBox(7 + side + 4, 0, box.width() - (7 + side + 4) - 7, box.height());
        p.drawText(textBox, Qt::AlignLeft | Qt::AlignVCenter,
                   ElidedText::elidedLine(QFontMetricsF(f), m_chip.name, textBox.width() + 0.5));
    }
    QFont font() const { return Theme::uiFont(10.5, m_chip.organizer ? QFont::DemiBold : QFont::Normal); }

private:
    M::Chip m_chip;
};

// The header's capsule: the store's latest message in green, or the event's countdown (green with
// black text while the event runs). A message pops in, scaling up from 0.9 as it fades in, and
// leaves the same way before what follows it shows.
class DetailBadge : public QWidget {
public:
    explicit DetailBadge(QWidget* parent)
        : QWidget(parent) {
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        m_pop.setDuration(200);
        m_pop.setEasingCurve(Motion::easeInOut());
        QObject::connect(&m_pop, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
            m_shown = value.toReal();
            update();
        });
        QObject::connect(&m_pop, &QAbstractAnimation::finished, this, [this] {
            if (std::exchange(m_leaving, false))
                display(m_next);
        });
    }

    void setBadge(const std::optional<M::Badge>& badge) {
        const bool toast = badge && badge->toast;
        if (m_leaving) {
            if (!toast) {
                m_next = badge;
                return;
            }
            // Another message before the last one was gone: it comes back from where that one got to.
            m_leaving = false;
            display(badge, m_shown);
            pop(1);
            return;
        }
        if (badge == m_badge)
            return;
        const bool hadToast = m_badge && m_badge->toast;
        if (toast == hadToast || !Motion::enabled()) {
            display(badge);
            return;
        }
        if (toast) {
            display(badge, 0);
            pop(1);
        } else {
            m_leaving = true;
            m_next = badge;
            pop(0);
        }
    }

    QSize sizeHint() const override {
        if (!m_badge)
            return {0, 0};
        const QFontMetricsF metrics(font());
        qreal w = std::min<qreal>(ElidedText::lineWidth(metrics, m_badge->text), maxBadgeText);
        if (m_badge->toast)
            w += Symbol::side(10.5) + 4;
        return QSize(int(std::ceil(w + 16)), int(std::ceil(metrics.height() + 6)));
    }

protected:
    void paintEvent(QPaintEvent*) override {
        if (!m_badge)
            return;
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        if (m_shown < 1)
            Motion::pop(p, QRectF(rect()).center(), m_shown, 0.9);
        const QRectF box(rect());
        QColor fill, ink;
        if (m_badge->toast) {
            fill = capsuleFill(Theme::green(), 0.15);
            ink = Theme::green();
        } else if (m_badge->live) {
            fill = Theme::green();
            ink = Theme::black();
        } else {
            fill = Theme::white(0.14);
            ink = Theme::white();
        }
        paintCapsule(p, box, fill);
        qreal x = 8;
        if (m_badge->toast) {
            const qreal side = Symbol::side(10.5);
            Symbol::paint(p, QStringLiteral("checkmark.circle.fill"), QPointF(x + side / 2, box.center().y()),
                          10.5, ink, QFont::DemiBold);
            x += side + 4;
        }
        const QFont f = font();
        p.setFont(f);
        p.setPen(ink);
        const QRectF textBox(x, 0, box.width() - x - 8, box.height());
        p.drawText(textBox, Qt::AlignLeft | Qt::AlignVCenter,
                   ElidedText::elidedLine(QFontMetricsF(f), m_badge->text, textBox.width() + 0.5));
    }

private:
    static QFont font() { return Theme::uiFont(10.5, QFont::DemiBold); }

    // Shows `badge` at once, popped in as far as `shown`.
    void display(const std::optional<M::Badge>& badge, qreal shown = 1) {
        m_pop.stop();
        m_shown = shown;
        m_badge = badge;
        setVisible(badge.has_value());
        setAccessibleName(badge ? badge->text : QString());
        updateGeometry();
        update();
    }

    // Scales and fades the message from where it is now to `to` (1 in, 0 out).
    void pop(qreal to) {
        m_pop.stop();
        m_pop.setStartValue(m_shown);
        m_pop.setEndValue(to);
        m_pop.start();
    }

    std::optional<M::Badge> m_badge;
    // What shows once the leaving message is gone.
    std::optional<M::Badge> m_next;
    bool m_leaving = false;
    qreal m_shown = 1; // how far the message has popped in
    QVariantAnimation m_pop;
};

// The question before a delete or decline: on a faint red card with a red edge, the message, Cancel
// and the red confirm button.
class ConfirmationRow : public QWidget {
public:
    explicit ConfirmationRow(QWidget* parent)
        : QWidget(parent) {
        auto* row = new QHBoxLayout(this);
        // 4 above the card, then the card's own padding.
        row->setContentsMargins(10, 4 + 8, 10, 8);
        row->setSpacing(8);
        const QFont font = Theme::uiFont(12, QFont::Medium);
        const int lineHeight = int(std::ceil(QFontMetricsF(font).height()));
        row->addWidget(new SymbolIcon(QStringLiteral("exclamationmark.circle.fill"), 12, Theme::orange(),
                                      QSize(14, lineHeight), this));
        message = new ElidedText(QString(), font, Theme::white(), 2, this);
        row->addWidget(message, 1, Qt::AlignVCenter);
        row->addSpacing(8); // the flexible gap's least width, between the stack's own gaps
        cancel = new PillButton(QStringLiteral("Cancel"), NotchPillStyle{}, this);
        row->addWidget(cancel);
        confirm = new PillButton(QString(), NotchPillStyle{false, false, true}, this);
        confirm->setSpacing(6);
        row->addWidget(confirm);
    }

    ElidedText* message;
    PillButton* cancel;
    PillButton* confirm;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF card = QRectF(rect()).adjusted(0.5, 4.5, -0.5, -0.5);
        QPainterPath path;
        path.addRoundedRect(card, 10, 10);
        p.fillPath(path, capsuleFill(Theme::red(), 0.14));
        p.setPen(QPen(capsuleFill(Theme::red(), 0.35), 1));
        p.drawPath(path);
    }
};

// The dot in the calendar's colour.
class ColorDot : public QWidget {
public:
    explicit ColorDot(QWidget* parent)
        : QWidget(parent) {
        setFixedSize(7, 7);
    }
    void setColor(const QColor& color) {
        if (color == m_color)
            return;
        m_color = color;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(m_color);
        p.drawEllipse(QRectF(rect()));
    }

private:
    QColor m_color = CalEvent::systemBlue();
};

// A Notion page's status, on a faint capsule.
class StatusCapsule : public QWidget {
public:
    explicit StatusCapsule(QWidget* parent)
        : QWidget(parent) {
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }
    void setText(const QString& text) {
        if (text == m_text)
            return;
        m_text = text;
        setAccessibleName(text);
        updateGeometry();
        update();
    }
    QSize sizeHint() const override {
        const QFontMetricsF metrics(Theme::uiFont(11));
        return QSize(
            int(std::ceil(std::min<qreal>(ElidedText::lineWidth(metrics, m_text), maxBadgeText) + 12)),
            int(std::ceil(metrics.height() + 2)));
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        paintCapsule(p, QRectF(rect()), Theme::white(0.14));
        const QFont font = Theme::uiFont(11);
        p.setFont(font);
        p.setPen(Theme::white(0.65));
        const QRectF box = QRectF(rect()).adjusted(6, 0, -6, 0);
        p.drawText(box, Qt::AlignCenter,
                   ElidedText::elidedLine(QFontMetricsF(font), m_text, box.width() + 0.5));
    }

private:
    QString m_text;
};

// The notes' faint rounded card.
class NotesCard : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), 8, 8);
        p.fillPath(path, Theme::white(0.06));
    }
};

} // namespace EventDetailParts

using namespace EventDetailParts;

EventDetailView::EventDetailView(NotchState& state, EventStore& store, const CalEvent& event, QWidget* parent)
    : EventDetailView(state, store, event, Options{}, parent) {}

EventDetailView::EventDetailView(NotchState& state, EventStore& store, const CalEvent& event, Options options,
                                 QWidget* parent)
    : QWidget(parent)
    , m_state(state)
    , m_store(store)
    , m_event(event)
    , m_options(std::move(options)) {
    if (!m_options.openUrl)
        m_options.openUrl = desktopUrlOpener();
    if (!m_options.timers)
        m_options.timers = qtTimerFactory();
    if (m_options.confirmDelete && M::actions(m_event).deletion)
        m_confirming = Confirm::deletion;

    setAccessibleName(QStringLiteral("Event details"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    buildHeader(column);
    buildDetails(column);
    buildBottom(column);

    connect(&m_store, &EventStore::nowChanged, this, [this] {
        refreshBadge();
        const std::optional<QString> edited = M::notionEditedText(m_event, m_store.now(), m_store.cal());
        m_notionEdited->setText(edited.value_or(QString()));
    });
    connect(&m_store, &EventStore::toastChanged, this, &EventDetailView::refreshBadge);
    refresh();
}

EventDetailView::~EventDetailView() = default;

void EventDetailView::buildHeader(QBoxLayout* column) {
    auto* header = new QHBoxLayout;
    header->setContentsMargins(0, 10, 0, 8);
    header->setSpacing(8);
    column->addLayout(header);

    m_back = new IconButton(
        QStringLiteral("chevron.left"), QStringLiteral("Back"), [this] { back(); }, this);
    header->addWidget(m_back, 0, Qt::AlignTop);

    auto* titleBlock = new QVBoxLayout;
    titleBlock->setSpacing(2);
    header->addLayout(titleBlock, 1);

    auto* titleLine = new QHBoxLayout;
    titleLine->setSpacing(6);
    titleBlock->addLayout(titleLine);
    m_icon = new QLabel(this);
    // Notion icons are emoji: the colour ones where the desktop has them, else whatever font has the
    // character, drawn in white.
    m_icon->setFont(Theme::emojiFont(15));
    QPalette iconPalette = m_icon->palette();
    iconPalette.setColor(QPalette::WindowText, Theme::white());
    m_icon->setPalette(iconPalette);
    titleLine->addWidget(m_icon, 0, Qt::AlignTop);
    m_title = new ElidedText(QString(), Theme::uiFont(16, QFont::DemiBold), Theme::white(), 2, this);
    titleLine->addWidget(m_title, 1);

    auto* subtitle = new QHBoxLayout;
    subtitle->setSpacing(6);
    titleBlock->addLayout(subtitle);
    m_calendarDot = new ColorDot(this);
    subtitle->addWidget(m_calendarDot, 0, Qt::AlignVCenter);
    m_calendarName = new ElidedText(QString(), Theme::uiFont(11), Theme::white(0.65), 1, this);
    m_calendarName->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    subtitle->addWidget(m_calendarName, 0, Qt::AlignVCenter);
    m_status = new StatusCapsule(this);
    subtitle->addWidget(m_status, 0, Qt::AlignVCenter);
    subtitle->addStretch(1);

    auto* actions = new QHBoxLayout;
    actions->setSpacing(5);
    header->addLayout(actions);
    m_badge = new DetailBadge(this);
    actions->addWidget(m_badge, 0, Qt::AlignVCenter);
    m_edit = new IconButton(
        QStringLiteral("pencil"), QString(), [this] { edit(); }, this);
    m_delete = new IconButton(
        QStringLiteral("trash"), QString(), [this] { ask(Confirm::deletion); }, this);
    m_decline = new IconButton(
        QStringLiteral("person.crop.circle.badge.xmark"), QString(), [this] { ask(Confirm::decline); }, this);
    for (IconButton* button : {m_edit, m_delete, m_decline})
        actions->addWidget(button, 0, Qt::AlignVCenter);
    header->setAlignment(actions, Qt::AlignTop);
}

void EventDetailView::buildDetails(QBoxLayout* column) {
    auto* content = new QWidget;
    auto* lines = new QVBoxLayout(content);
    lines->setContentsMargins(0, 0, 0, 8);
    lines->setSpacing(9);

    m_time = new DetailLine(QStringLiteral("clock"), content);
    lines->addWidget(m_time);
    m_unexpandedRule = new DetailLine(QStringLiteral("calendar.badge.exclamationmark"), content);
    lines->addWidget(m_unexpandedRule);
    m_location = new DetailLine(QStringLiteral("mappin.and.ellipse"), content);
    lines->addWidget(m_location);

    m_attendees = new QWidget(content);
    auto* attendees = new QVBoxLayout(m_attendees);
    attendees->setContentsMargins(0, 0, 0, 0);
    attendees->setSpacing(5);
    m_attendeeSummary = new DetailLine(QStringLiteral("person.2"), m_attendees);
    attendees->addWidget(m_attendeeSummary);
    m_chipArea = new QWidget(m_attendees);
    new FlowLayout(5, m_chipArea);
    m_chipArea->setSizePolicy(QSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred));
    attendees->addWidget(m_chipArea);
    m_more = new ElidedText(QString(), Theme::uiFont(10.5), Theme::white(0.5), 1, m_chipArea);
    m_more->setFixedHeight(int(std::ceil(QFontMetricsF(m_more->font()).height())) + 6);
    m_more->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_chipArea->layout()->addWidget(m_more);
    lines->addWidget(m_attendees);

    m_organizer = new DetailLine(QStringLiteral("person"), content);
    lines->addWidget(m_organizer);
    m_notionEdited = new DetailLine(QStringLiteral("pencil"), content);
    lines->addWidget(m_notionEdited);

    m_notesBox = new NotesCard(content);
    auto* notes = new QVBoxLayout(m_notesBox);
    notes->setContentsMargins(10, 10, 10, 10);
    m_notes = new ElidedText(QString(), Theme::uiFont(11.5), Theme::white(0.75), 12, m_notesBox);
    m_notes->setSelectable(true);
    notes->addWidget(m_notes);
    lines->addWidget(m_notesBox);
    lines->addStretch(1);

    m_details = new MaybeScroll(content, this);
    column->addWidget(m_details, 1);
}

void EventDetailView::buildBottom(QBoxLayout* column) {
    m_errorLine = new QWidget(this);
    auto* error = new QHBoxLayout(m_errorLine);
    error->setContentsMargins(0, 0, 0, 6);
    error->setSpacing(5);
    const QFont errorFont = Theme::uiFont(11);
    error->addWidget(new SymbolIcon(QStringLiteral("exclamationmark.triangle.fill"), 11, Theme::orange(),
                                    QSize(14, int(std::ceil(QFontMetricsF(errorFont).height()))),
                                    m_errorLine),
                     0, Qt::AlignTop);
    m_errorText = new ElidedText(QString(), errorFont, Theme::orange(), 2, m_errorLine);
    m_errorText->setSelectable(true);
    error->addWidget(m_errorText, 1);
    column->addWidget(m_errorLine);

    m_footer = new QWidget(this);
    auto* footer = new QHBoxLayout(m_footer);
    footer->setContentsMargins(0, 4, 0, 0);
    footer->setSpacing(8);
    m_join = new PillButton(
        QString(), NotchPillStyle{true, false, false}, [this] { m_store.join(m_event); }, m_footer);
    m_join->setSymbol(QStringLiteral("video.fill"), 11.5);
    footer->addWidget(m_join);
    footer->addStretch(1);
    for (M::Link link :
         {M::Link::notionCalendar, M::Link::calendarApp, M::Link::googleCalendar, M::Link::notionPage}) {
        auto* button = new PillButton(
            M::linkTitle(link), NotchPillStyle{}, [this, link] { openLink(link); }, m_footer);
        footer->addWidget(button);
        m_links.append({link, button});
    }
    column->addWidget(m_footer);

    m_confirmation = new ConfirmationRow(this);
    connect(m_confirmation->cancel, &QAbstractButton::clicked, this, [this] {
        if (m_busy)
            return;
        stopRevert();
        setConfirming(std::nullopt);
    });
    connect(m_confirmation->confirm, &QAbstractButton::clicked, this, [this] {
        if (m_confirming)
            perform(*m_confirming);
    });
    column->addWidget(m_confirmation);
}

void EventDetailView::setEvent(const CalEvent& event) {
    const bool another = event.id != m_event.id;
    m_event = event;
    if (another) {
        // Nothing of the last event's question or answer belongs to this one.
        ++m_generation;
        stopRevert();
        m_busy = false;
        m_error.reset();
        m_confirming.reset();
        m_details->setScrollPosition(0);
    } else if (m_confirming && !m_busy) {
        // An action the event no longer offers (it became read-only, say) takes its question along.
        const M::Actions offered = M::actions(m_event);
        if ((*m_confirming == Confirm::deletion && !offered.deletion) ||
            (*m_confirming == Confirm::decline && !offered.decline)) {
            stopRevert();
            m_confirming.reset();
        }
    }
    refresh();
}

void EventDetailView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    m_escape =
        EscapeHandlerGuard(m_state, NotchState::EscapeOwner::detail, this, [this] { return escape(); });
}

void EventDetailView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    m_escape.reset();
    // Gone from the screen is gone: a question left open would greet the user later with no timer
    // to close it. A running call keeps its row.
    if (!m_busy && m_confirming) {
        stopRevert();
        setConfirming(std::nullopt);
    }
}

void EventDetailView::back() {
    if (m_busy)
        return;
    m_state.setSelectedEvent(std::nullopt);
}

void EventDetailView::edit() {
    if (m_busy)
        return;
    if (NotchController* controller = NotchController::shared())
        controller->openEditor(m_event);
}

void EventDetailView::ask(Confirm confirm) {
    if (m_busy)
        return;
    m_error.reset();
    setConfirming(m_confirming == confirm ? std::nullopt : std::optional(confirm));
    startRevert();
}

void EventDetailView::perform(Confirm confirm) {
    if (m_busy || m_confirming != confirm)
        return;
    stopRevert();
    m_busy = true;
    refreshBusy();
    // On a turn of its own: the store publishes while it works and the panel may take this view down
    // when the selection clears, neither of which may happen inside this button's click. The store
    // runs it, so a view gone meanwhile does not stop what the user confirmed.
    QTimer::singleShot(0, &m_store,
                       [view = QPointer(this), state = QPointer(&m_state), store = QPointer(&m_store),
                        event = m_event, confirm, generation = m_generation] {
                           Tasks::startDetached(run(view, state, store, event, confirm, generation),
                                                QStringLiteral("Event change"));
                       });
}

QCoro::Task<> EventDetailView::run(QPointer<EventDetailView> view, QPointer<NotchState> state,
                                   QPointer<EventStore> store, CalEvent event, Confirm confirm,
                                   quint64 generation) {
    Outcome outcome = Outcome::done;
    QString message;
    if (!store) {
        outcome = Outcome::cancelled;
    } else {
        try {
            QCoro::Task<> call =
                confirm == Confirm::decline ? store->declineEvent(event) : store->deleteEvent(event);
            co_await call;
        } catch (const CancelledError&) {
            outcome = Outcome::cancelled;
        } catch (const UserFacingError& error) {
            outcome = Outcome::failed;
            message = error.message();
        } catch (const std::exception& error) {
            outcome = Outcome::failed;
            message = QString::fromUtf8(error.what());
        }
    }
    if (outcome == Outcome::failed && message.trimmed().isEmpty()) {
        message = confirm == Confirm::decline ? QStringLiteral("The event could not be declined")
                                              : QStringLiteral("The event could not be deleted");
    }
    DebugLog::log([&] {
        const QString result = outcome == Outcome::done        ? QStringLiteral("done")
                               : outcome == Outcome::cancelled ? QStringLiteral("cancelled")
                                                               : message;
        return QStringLiteral("detail: ") +
               (confirm == Confirm::decline ? QStringLiteral("decline") : QStringLiteral("delete")) +
               QStringLiteral(" of ") + event.id + QStringLiteral(": ") + result;
    });
    // Only the selection of this event: the user may have moved on to another one meanwhile.
    if (outcome == Outcome::done && state && state->selectedEvent() && state->selectedEvent()->id == event.id)
        state->setSelectedEvent(std::nullopt);
    if (view)
        view->finish(generation, outcome, message);
}

void EventDetailView::finish(quint64 generation, Outcome outcome, const QString& message) {
    if (generation != m_generation)
        return;
    m_busy = false;
    if (outcome == Outcome::failed)
        m_error = message;
    // Answered either way: a view still showing after a success offers no second delete.
    m_confirming.reset();
    refresh();
    if (outcome == Outcome::failed || outcome == Outcome::cancelled)
        fadeIn(m_footer);
}

bool EventDetailView::escape() {
    if (m_busy)
        return true;
    if (!m_confirming)
        return false;
    stopRevert();
    setConfirming(std::nullopt);
    return true;
}

void EventDetailView::setConfirming(std::optional<Confirm> confirm) {
    const bool swapped = confirm.has_value() != m_confirming.has_value();
    m_confirming = confirm;
    refreshHeader();
    refreshBottom();
    if (swapped)
        fadeIn(m_confirming ? static_cast<QWidget*>(m_confirmation) : m_footer);
}

void EventDetailView::startRevert() {
    if (!m_revert) {
        m_revert = m_options.timers(false, [this] {
            if (!m_busy && m_confirming)
                setConfirming(std::nullopt);
        });
    }
    m_revert->start(revertDelay);
}

void EventDetailView::stopRevert() {
    if (m_revert)
        m_revert->stop();
}

void EventDetailView::openLink(M::Link link) {
    switch (link) {
    case M::Link::notionCalendar:
        Tasks::startDetached(Launch::notionCalendar(m_options.openUrl),
                             QStringLiteral("Opening Notion Calendar"));
        break;
    case M::Link::calendarApp:
        Tasks::startDetached(Launch::calendarApp(), QStringLiteral("Opening the calendar app"));
        break;
    case M::Link::googleCalendar:
        // Google's servers gave this address: only a web page may open from it.
        if (m_event.webLink && isSafeRemoteLink(*m_event.webLink))
            m_options.openUrl(*m_event.webLink);
        break;
    case M::Link::notionPage:
        if (const std::optional<Launch::NotionPage> page =
                Launch::notionPage(m_event.notionURL, m_event.webLink))
            Tasks::startDetached(Launch::openNotionPage(*page, m_options.openUrl),
                                 QStringLiteral("Opening the Notion page"));
        break;
    }
}

QCoro::Task<> EventDetailView::findCalendarApp() {
    QPointer self(this);
    m_askingCalendarApp = true;
    const bool found = co_await Launch::hasCalendarApp();
    if (!self)
        co_return;
    m_askingCalendarApp = false;
    m_hasCalendarApp = found;
    refreshBottom();
}

void EventDetailView::refresh() {
    refreshHeader();
    refreshDetails();
    refreshBottom();
}

void EventDetailView::refreshHeader() {
    m_icon->setText(TextRules::cutToScreen(m_event.notionIcon.value_or(QString())));
    m_icon->setVisible(!m_icon->text().isEmpty());
    m_title->setText(m_event.title);
    m_calendarDot->setColor(m_event.color.isValid() ? m_event.color : CalEvent::systemBlue());
    m_calendarName->setText(m_event.calendarName);
    m_calendarName->setVisible(!m_event.calendarName.isEmpty());
    const QString status = m_event.notionStatus.value_or(QString());
    m_status->setText(status);
    m_status->setVisible(!status.isEmpty());

    const M::Actions actions = M::actions(m_event);
    m_edit->setVisible(actions.edit);
    m_edit->setHelp(M::editHelp(m_event));
    m_delete->setVisible(actions.deletion);
    m_delete->setHelp(M::deleteHelp(m_event));
    m_delete->setActive(m_confirming == Confirm::deletion);
    m_decline->setVisible(actions.decline);
    m_decline->setHelp(M::declineHelp(m_event));
    m_decline->setActive(m_confirming == Confirm::decline);
    refreshBadge();
    refreshBusy();
}

void EventDetailView::refreshBadge() {
    m_badge->setBadge(M::badge(m_event, m_store.toast(), m_store.now()));
}

void EventDetailView::refreshDetails() {
    m_time->setText(M::timeText(m_event, m_store.cal()));
    const std::optional<QString> unexpandedRule = M::unexpandedRuleText(m_event);
    m_unexpandedRule->setText(unexpandedRule.value_or(QString()));
    m_unexpandedRule->setVisible(unexpandedRule.has_value());

    const std::optional<QString> location = M::locationText(m_event);
    m_location->setText(location.value_or(QString()));
    m_location->setVisible(location.has_value());

    refreshAttendees();

    const std::optional<QString> organizer = M::organizerText(m_event);
    m_organizer->setText(organizer.value_or(QString()));
    m_organizer->setVisible(organizer.has_value());

    const std::optional<QString> edited = M::notionEditedText(m_event, m_store.now(), m_store.cal());
    m_notionEdited->setText(edited.value_or(QString()));
    m_notionEdited->setVisible(edited.has_value());

    const std::optional<QString> notes = M::cleanNotes(m_event.notes);
    m_notes->setText(notes.value_or(QString()));
    m_notesBox->setVisible(notes.has_value());
}

void EventDetailView::refreshAttendees() {
    m_attendees->setVisible(!m_event.attendees.isEmpty());
    if (m_event.attendees.isEmpty())
        return;
    m_attendeeSummary->setText(M::attendeeSummary(m_event));

    // Chips are kept and refilled, so a publish never rebuilds them; "+N more" stays last.
    const QList<M::Chip> chips = M::chips(m_event);
    auto* flow = static_cast<FlowLayout*>(m_chipArea->layout());
    if (chips.size() != m_chips.size()) {
        flow->removeWidget(m_more);
        while (m_chips.size() > chips.size())
            delete m_chips.takeLast();
        while (m_chips.size() < chips.size()) {
            auto* chip = new AttendeeChip(m_chipArea);
            flow->addWidget(chip);
            chip->show();
            m_chips.append(chip);
        }
        flow->addWidget(m_more);
    }
    for (qsizetype i = 0; i < chips.size(); ++i)
        m_chips[i]->setChip(chips[i]);
    const std::optional<QString> more = M::moreText(m_event);
    m_more->setText(more.value_or(QString()));
    m_more->setVisible(more.has_value());
}

void EventDetailView::refreshBottom() {
    m_errorText->setText(m_error.value_or(QString()));
    m_errorLine->setVisible(m_error.has_value());

    m_footer->setVisible(!m_confirming);
    m_confirmation->setVisible(m_confirming.has_value());

    const std::optional<QString> join = M::joinText(m_event);
    m_join->setText(join.value_or(QString()));
    m_join->setVisible(join.has_value());
    const QList<M::Link> links = M::links(m_event);
    if (links.contains(M::Link::calendarApp) && !m_hasCalendarApp && !m_askingCalendarApp)
        Tasks::startDetached(findCalendarApp(), QStringLiteral("Looking for a calendar app"));
    for (const auto& [link, button] : std::as_const(m_links)) {
        const bool shown = links.contains(link) && (link != M::Link::calendarApp || m_hasCalendarApp == true);
        button->setVisible(shown);
    }
    refreshBusy();
}

void EventDetailView::refreshBusy() {
    const qreal dimmed = m_busy ? 0.4 : 1.0;
    // Nothing else may start, or leave, while the store works on the event.
    for (IconButton* button : {m_back, m_edit, m_delete, m_decline}) {
        button->setEnabled(!m_busy);
        button->setContentOpacity(dimmed);
    }
    if (m_confirming) {
        const M::ConfirmText text = M::confirmText(*m_confirming, m_event);
        m_confirmation->message->setText(text.message);
        m_confirmation->confirm->setText(m_busy ? text.busyLabel : text.button);
        m_confirmation->confirm->setBusy(m_busy);
        m_confirmation->confirm->updateGeometry();
    }
    m_confirmation->confirm->setEnabled(!m_busy);
    m_confirmation->cancel->setEnabled(!m_busy);
    m_confirmation->cancel->setContentOpacity(m_busy ? 0.5 : 1.0);
}
