#include "ui/panel/ExpandedView.h"

#include "core/settings/AppSettings.h"
#include "core/store/EventStore.h"
#include "ui/controls/Motion.h"
#include "ui/controls/Theme.h"
#include "ui/notch/NotchState.h"
#include "ui/panel/DayList.h"
#include "ui/panel/EventDetailView.h"
#include "ui/panel/GoogleNudge.h"
#include "ui/panel/HeaderBand.h"
#include "ui/panel/NotchRootView.h"
#include "ui/panel/WeekStrip.h"
#include "ui/quickadd/QuickAddView.h"

#include <QGraphicsOpacityEffect>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QVBoxLayout>

#include <utility>

namespace {

constexpr int switchMs = 200;
const char* const transitionName = "bodyTransition";

enum class Edge { none, top, bottom, trailing };

QRect offset(const QRect& rect, Edge edge) {
    switch (edge) {
    case Edge::bottom:
        return rect.translated(0, rect.height());
    case Edge::trailing:
        return rect.translated(rect.width(), 0);
    case Edge::top:
        return rect.translated(0, -rect.height());
    case Edge::none:
        break;
    }
    return rect;
}

// Stops the transitions of `widget` that are still running: the one about to start takes over.
void stopTransitions(QWidget* widget) {
    for (QAbstractAnimation* running : widget->findChildren<QAbstractAnimation*>(
             QLatin1String(transitionName), Qt::FindDirectChildrenOnly)) {
        running->stop();
        running->deleteLater();
    }
}

// Ends every running transition under `root` where it was going.
void finishTransitions(QWidget* root) {
    const QList<QAbstractAnimation*> found =
        root->findChildren<QAbstractAnimation*>(QLatin1String(transitionName));
    const QList<QPointer<QAbstractAnimation>> running(found.begin(), found.end());
    for (const QPointer<QAbstractAnimation>& animation : running) {
        if (animation && animation->state() == QAbstractAnimation::Running)
            animation->setCurrentTime(animation->totalDuration());
    }
}

// Brings `widget` into `target` (in) or takes it out of it (out): a fade, with a slide from or to
// `edge` over the widget's own size, ease in and out over 0.2 s. `done` runs at the end, unless
// another transition of the same widget took over first. Unless `animate`, everything happens at
// once.
void transition(QWidget* widget, const QRect& target, Edge edge, bool in, bool animate,
                std::function<void()> done = {}) {
    stopTransitions(widget);
    if (!animate) {
        widget->setGraphicsEffect(nullptr);
        widget->setGeometry(target);
        widget->setVisible(in);
        if (done)
            done();
        return;
    }
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(widget->graphicsEffect());
    if (!effect) {
        effect = new QGraphicsOpacityEffect(widget);
        effect->setOpacity(in && widget->isHidden() ? 0.0 : 1.0);
        widget->setGraphicsEffect(effect);
    }
    if (in && widget->isHidden())
        widget->setGeometry(offset(target, edge));
    widget->show();
    widget->raise();

    auto* group = new QParallelAnimationGroup(widget);
    group->setObjectName(QLatin1String(transitionName));
    auto* fade = new QPropertyAnimation(effect, "opacity", group);
    fade->setDuration(switchMs);
    fade->setEasingCurve(Motion::easeInOut());
    fade->setEndValue(in ? 1.0 : 0.0);
    group->addAnimation(fade);
    if (edge != Edge::none) {
        auto* slide = new QPropertyAnimation(widget, "geometry", group);
        slide->setDuration(switchMs);
        slide->setEasingCurve(Motion::easeInOut());
        slide->setEndValue(in ? target : offset(target, edge));
        group->addAnimation(slide);
    } else {
        widget->setGeometry(target);
    }
    QObject::connect(group, &QAbstractAnimation::finished, widget, [widget, in, target, done] {
        // An effect costs a render pass of its own: none once the change is over.
        widget->setGraphicsEffect(nullptr);
        widget->setGeometry(target);
        widget->setVisible(in);
        if (in)
            NotchRootView::refreshPointer(widget);
        if (done)
            done();
    });
    group->start(QAbstractAnimation::DeleteWhenStopped);
}

// Takes `widget` out towards `edge` and deletes it once it is gone.
void retire(QPointer<QWidget> widget, const QRect& target, Edge edge, bool animate) {
    transition(widget, target, edge, false, animate, [widget] {
        if (widget)
            widget->deleteLater();
    });
}

// The agenda's copy of the selected event, or none when no loaded day holds it any more (deleted
// elsewhere): the detail then keeps the last copy it was given.
std::optional<CalEvent> freshCopy(const EventStore& store, const CalEvent& selected) {
    for (const QDateTime& day : selected.days(store.cal())) {
        for (const CalEvent& candidate : store.eventsByDay().value(day)) {
            if (candidate.id == selected.id)
                return candidate;
        }
    }
    return std::nullopt;
}

} // namespace

ExpandedView::BodyViews& ExpandedView::bodyViews() {
    static BodyViews views{
        [](NotchState& state, EventStore& store, const CalEvent& event, QWidget* parent) -> QWidget* {
            return new EventDetailView(state, store, event, parent);
        },
        [](QWidget* detail, const CalEvent& event) {
            if (auto* view = qobject_cast<EventDetailView*>(detail))
                view->setEvent(event);
        },
        [](NotchState& state, EventStore& store, AppSettings&, QWidget* parent) -> QWidget* {
            return new QuickAddView(state, store, parent);
        },
    };
    return views;
}

ExpandedView::Body ExpandedView::body(bool quickAdd, bool hasSelection) {
    if (quickAdd)
        return Body::quickAdd;
    return hasSelection ? Body::detail : Body::agenda;
}

bool ExpandedView::offersGoogle(bool canOfferGoogle, bool promptDismissed) {
    return canOfferGoogle && !promptDismissed;
}

ExpandedView::ExpandedView(NotchState& state, EventStore& store, AppSettings& settings, QWidget* parent)
    : QWidget(parent)
    , m_state(state)
    , m_store(store)
    , m_settings(settings)
    , m_header(new HeaderBand(state, store, this))
    , m_agenda(new QWidget(this))
    , m_weekStrip(new WeekStrip(store, m_agenda))
    , m_nudge(new GoogleNudge(store, settings, m_agenda))
    , m_dayList(new DayList(store, state, settings, m_agenda)) {
    setAttribute(Qt::WA_TranslucentBackground);
    m_agenda->setAttribute(Qt::WA_TranslucentBackground);
    auto* column = new QVBoxLayout(m_agenda);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(m_weekStrip);
    column->addWidget(m_nudge);
    column->addWidget(m_dayList, 1);

    m_nudgeOffered = offersGoogle(m_settings.canOfferGoogle(), m_settings.googlePromptDismissed());
    m_nudge->setVisible(m_nudgeOffered);

    connect(&m_state, &NotchState::quickAddChanged, this, &ExpandedView::refreshBody);
    connect(&m_state, &NotchState::selectedEventChanged, this, &ExpandedView::refreshBody);
    connect(&m_state, &NotchState::geometryChanged, this, &ExpandedView::place);
    connect(&m_store, &EventStore::eventsByDayChanged, this, &ExpandedView::refreshDetail);
    connect(&m_settings, &AppSettings::changed, this, &ExpandedView::refreshNudge);
    place();
    refreshBody();
}

ExpandedView::~ExpandedView() = default;

QSize ExpandedView::sizeHint() const {
    return {600, 410};
}

QRect ExpandedView::bodyRect() const {
    const int top = HeaderBand::bandHeight(m_state.geometry().notchSize.height());
    return QRect(paddingX, top, width() - 2 * paddingX, std::max(0, height() - paddingBottom - top));
}

void ExpandedView::place() {
    m_header->setGeometry(paddingX, 0, width() - 2 * paddingX,
                          HeaderBand::bandHeight(m_state.geometry().notchSize.height()));
    const QRect body = bodyRect();
    for (QWidget* page : {m_agenda, m_detail.data(), m_quickAdd.data()}) {
        if (page && !page->findChild<QAbstractAnimation*>(QLatin1String(transitionName)))
            page->setGeometry(body);
    }
}

void ExpandedView::resizeEvent(QResizeEvent*) {
    place();
}

void ExpandedView::hideEvent(QHideEvent*) {
    // Nothing is left half way for the next time the panel opens.
    finishTransitions(this);
}

bool ExpandedView::bodyMoves() const {
    // While the panel fades this view in, the body's own fades would run inside that one.
    return Motion::enabled() && isVisible() && !graphicsEffect();
}

void ExpandedView::refreshBody() {
    const std::optional<CalEvent>& selected = m_state.selectedEvent();
    const Body next = body(m_state.quickAdd(), selected.has_value());
    const QRect target = bodyRect();
    BodyViews& views = bodyViews();
    const bool animate = bodyMoves();

    if (next == Body::detail) {
        const CalEvent event = freshCopy(m_store, *selected).value_or(*selected);
        if (m_detail && m_detailEvent && m_detailEvent->id == event.id) {
            if (!identical(event, *m_detailEvent)) {
                m_detailEvent = event;
                views.updateDetail(m_detail, event);
            }
        } else {
            // Another event: a detail of its own, with nothing carried over from the last one.
            if (m_detail)
                retire(m_detail, target, Edge::trailing, animate);
            m_detailEvent = event;
            m_detail = views.makeDetail(m_state, m_store, event, this);
            m_detail->hide();
            m_detail->resize(target.size());
            transition(m_detail, target, Edge::trailing, true, animate);
        }
    } else if (m_detail) {
        m_detailEvent.reset();
        retire(std::exchange(m_detail, nullptr), target, Edge::trailing, animate);
    }

    if (next == Body::quickAdd && !m_quickAdd) {
        m_quickAdd = views.makeQuickAdd(m_state, m_store, m_settings, this);
        m_quickAdd->hide();
        m_quickAdd->resize(target.size());
        transition(m_quickAdd, target, Edge::bottom, true, animate);
    } else if (next != Body::quickAdd && m_quickAdd) {
        retire(std::exchange(m_quickAdd, nullptr), target, Edge::bottom, animate);
    }

    const bool agenda = next == Body::agenda;
    if (agenda != (m_body == Body::agenda) || agenda == m_agenda->isHidden())
        transition(m_agenda, target, Edge::none, agenda, animate);
    m_body = next;
}

void ExpandedView::refreshDetail() {
    if (!m_detail || !m_state.selectedEvent() || !m_detailEvent)
        return;
    const std::optional<CalEvent> fresh = freshCopy(m_store, *m_state.selectedEvent());
    if (!fresh || identical(*fresh, *m_detailEvent))
        return;
    m_detailEvent = fresh;
    bodyViews().updateDetail(m_detail, *fresh);
}

void ExpandedView::refreshNudge() {
    const bool offered = offersGoogle(m_settings.canOfferGoogle(), m_settings.googlePromptDismissed());
    if (offered == m_nudgeOffered)
        return;
    m_nudgeOffered = offered;
    stopTransitions(m_nudge);
    if (!bodyMoves()) {
        m_nudge->setGraphicsEffect(nullptr);
        m_nudge->setMaximumHeight(QWIDGETSIZE_MAX);
        m_nudge->setVisible(offered);
        return;
    }
    // It opens from the top edge and fades in (the list below follows), or the other way round.
    const int full = m_nudge->sizeHint().height();
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(m_nudge->graphicsEffect());
    if (!effect) {
        effect = new QGraphicsOpacityEffect(m_nudge);
        effect->setOpacity(offered ? 0.0 : 1.0);
        m_nudge->setGraphicsEffect(effect);
    }
    const bool opening = offered && m_nudge->isHidden();
    if (opening)
        m_nudge->setMaximumHeight(0);
    m_nudge->show();
    auto* group = new QParallelAnimationGroup(m_nudge);
    group->setObjectName(QLatin1String(transitionName));
    auto* fade = new QPropertyAnimation(effect, "opacity", group);
    fade->setEndValue(offered ? 1.0 : 0.0);
    auto* height = new QPropertyAnimation(m_nudge, "maximumHeight", group);
    height->setStartValue(opening ? 0 : std::min(m_nudge->height(), full));
    height->setEndValue(offered ? full : 0);
    for (QPropertyAnimation* animation : {fade, height}) {
        animation->setDuration(switchMs);
        animation->setEasingCurve(Motion::easeInOut());
        group->addAnimation(animation);
    }
    connect(group, &QAbstractAnimation::finished, m_nudge, [this, offered] {
        m_nudge->setGraphicsEffect(nullptr);
        m_nudge->setMaximumHeight(QWIDGETSIZE_MAX);
        m_nudge->setVisible(offered);
    });
    group->start(QAbstractAnimation::DeleteWhenStopped);
}
