#include "ui/panel/EventRow.h"

#include "core/model/Fmt.h"
#include "core/model/MeetingLink.h"
#include "core/store/EventStore.h"
#include "ui/controls/JoinButton.h"
#include "ui/controls/Symbol.h"
#include "ui/controls/Theme.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {

const QString separator = QStringLiteral(" \u00b7 ");

constexpr qreal paddingX = 8;
constexpr qreal paddingY = 5;
constexpr qreal spacing = 10;
constexpr qreal timeWidth = 58;
constexpr qreal barWidth = 3;
constexpr qreal barHeight = 30;
// The flexible space between the text and the parts at the right: at least 4, with the row's spacing
// on either side of it.
constexpr qreal textToTrailing = spacing + 4 + spacing;
constexpr qreal badgeSide = 14;
constexpr qreal chevronSize = 9;
constexpr qreal videoSize = 10;
constexpr qreal nowPaddingX = 6;
constexpr qreal nowPaddingY = 2;

QFont notionBadgeFont() {
    QFont font = Theme::uiFont(9, QFont::Black);
    font.setFamilies({QStringLiteral("DejaVu Serif"), QStringLiteral("serif")});
    font.setStyleHint(QFont::Serif);
    return font;
}

// What the row shows of the event itself; the clock's part comes from applyClock().
EventRow::Model describe(const CalEvent& event, const Cal& cal) {
    EventRow::Model m;
    m.allDay = event.isAllDay;
    if (event.isAllDay) {
        m.startText = EventRow::tr("all day");
    } else {
        m.startText = Fmt::time(event.start, cal);
        m.endText = Fmt::time(event.end, cal);
    }
    m.color = event.color;
    m.icon = event.notionIcon.value_or(QString());
    m.title = event.title;
    m.subtitle = EventRow::subtitle(event);
    m.notion = event.source == EventSource::notion;
    m.hasLink = event.meetingURL().has_value();
    return m;
}

void applyClock(EventRow::Model& m, const CalEvent& event, const QDateTime& now, bool viewingToday) {
    const bool live = !event.isAllDay && event.start <= now && event.end > now;
    m.past = event.end <= now && viewingToday;
    const qint64 toStartMs = now.msecsTo(event.start);
    m.countdown.clear();
    m.status = EventRow::Model::Status::none;
    if (live) {
        m.status = EventRow::Model::Status::live;
    } else if (!m.past && viewingToday && toStartMs < EventRow::countdownLeadSecs * 1000) {
        if (const std::optional<QString> text = Fmt::countdown(event, now)) {
            m.status = EventRow::Model::Status::countdown;
            m.countdown = *text;
        }
    }
    if (!m.hasLink)
        m.meeting = EventRow::Model::Meeting::none;
    else if (!m.past && viewingToday && toStartMs < EventRow::joinLeadSecs * 1000)
        m.meeting = EventRow::Model::Meeting::join;
    else
        m.meeting = EventRow::Model::Meeting::symbol;
}

} // namespace

EventRow::Model EventRow::model(const CalEvent& event, const QDateTime& now, bool viewingToday,
                                const Cal& cal) {
    Model m = describe(event, cal);
    applyClock(m, event, now, viewingToday);
    return m;
}

QString EventRow::subtitle(const CalEvent& event) {
    QStringList parts;
    if (const std::optional<QUrl> link = event.meetingURL())
        parts << MeetingLink::serviceName(*link);
    else if (event.location)
        parts << *event.location;
    if (event.notionStatus)
        parts << *event.notionStatus;
    parts << event.calendarName;
    return parts.join(separator);
}

EventRow::EventRow(const CalEvent& event, EventStore& store, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_event(event)
    , m_start(Theme::uiFont(12, QFont::DemiBold))
    , m_end(Theme::uiFont(10))
    , m_icon(Theme::emojiFont(12))
    , m_title(Theme::uiFont(13, QFont::Medium))
    , m_subtitleLine(Theme::uiFont(10.5))
    , m_status(Theme::uiFont(10, QFont::Medium))
    , m_join(new JoinButton(event, true, store, this)) {
    setAttribute(Qt::WA_TranslucentBackground);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    m_join->hide();
    m_zone = m_store.cal().zone();
    m_locale = m_store.cal().locale();
    apply(model(m_event, m_store.now(), m_store.isViewingToday(), m_store.cal()));
}

QSize EventRow::sizeHint() const {
    return {400, rowHeight};
}

void EventRow::setEvent(const CalEvent& event) {
    if (identical(event, m_event) && !calendarChanged())
        return;
    m_event = event;
    m_join->setEvent(event);
    m_zone = m_store.cal().zone();
    m_locale = m_store.cal().locale();
    apply(model(m_event, m_store.now(), m_store.isViewingToday(), m_store.cal()));
}

bool EventRow::calendarChanged() const {
    return m_store.cal().zone() != m_zone || m_store.cal().locale() != m_locale;
}

void EventRow::refresh() {
    if (calendarChanged()) {
        // The times read in the new zone or locale.
        m_zone = m_store.cal().zone();
        m_locale = m_store.cal().locale();
        apply(model(m_event, m_store.now(), m_store.isViewingToday(), m_store.cal()));
        return;
    }
    Model next = m_model;
    applyClock(next, m_event, m_store.now(), m_store.isViewingToday());
    apply(next);
}

EventRow::Layout EventRow::layOut() const {
    Layout l;
    const qreal h = height();
    const qreal midY = h / 2;
    const qreal contentTop = paddingY;
    const qreal contentHeight = h - 2 * paddingY;
    l.time = QRectF(paddingX, contentTop, timeWidth, contentHeight);
    l.bar = QRectF(l.time.right() + spacing, midY - barHeight / 2, barWidth, barHeight);

    // The parts at the right, from the right edge inwards.
    qreal right = width() - paddingX;
    const qreal chevron = Symbol::side(chevronSize);
    l.chevron = QRectF(right - chevron, midY - chevron / 2, chevron, chevron);
    right = l.chevron.left();
    if (m_model.notion) {
        l.badge = QRectF(right - spacing - badgeSide, midY - badgeSide / 2, badgeSide, badgeSide);
        right = l.badge.left();
    }
    if (m_model.meeting == Model::Meeting::join) {
        const QSizeF join = m_join->sizeHint();
        l.meeting = QRectF(right - spacing - join.width(), std::round(midY - join.height() / 2), join.width(),
                           join.height());
        right = l.meeting.left();
    } else if (m_model.meeting == Model::Meeting::symbol) {
        const qreal video = Symbol::side(videoSize);
        l.meeting = QRectF(right - spacing - video, midY - video / 2, video, video);
        right = l.meeting.left();
    }
    if (m_model.status == Model::Status::live) {
        const qreal w = m_status.width() + 2 * nowPaddingX;
        const qreal hh = std::round(m_status.height() + 2 * nowPaddingY);
        l.status = QRectF(right - spacing - w, std::round(midY - hh / 2), w, hh);
        right = l.status.left();
    } else if (m_model.status == Model::Status::countdown) {
        l.status = QRectF(right - spacing - m_status.width(), contentTop, m_status.width(), contentHeight);
        right = l.status.left();
    }
    const qreal textLeft = l.bar.right() + spacing;
    l.text =
        QRectF(textLeft, contentTop, std::max<qreal>(0, right - textToTrailing - textLeft), contentHeight);
    return l;
}

void EventRow::apply(const Model& next) {
    const Model before = m_model;
    const Layout oldLayout = m_layout;
    const QString oldTitle = m_title.shown(), oldSubtitle = m_subtitleLine.shown(), oldIcon = m_icon.shown();
    m_model = next;

    m_start.setFont(
        Theme::uiFont(m_model.allDay ? 11 : 12, m_model.allDay ? QFont::Medium : QFont::DemiBold));
    m_start.set(m_model.startText, timeWidth);
    m_end.set(m_model.endText, timeWidth);
    if (m_model.status == Model::Status::live) {
        m_status.setFont(Theme::uiFont(9, QFont::Bold));
        m_status.set(tr("NOW"));
    } else {
        m_status.setFont(Theme::uiFont(10, QFont::Medium));
        m_status.set(m_model.countdown);
    }
    m_layout = layOut();
    m_icon.set(m_model.icon);
    const qreal iconWidth = m_model.icon.isEmpty() ? 0 : m_icon.width() + 5;
    m_title.set(m_model.title, std::max<qreal>(0, m_layout.text.width() - iconWidth));
    m_subtitleLine.set(m_model.subtitle, m_layout.text.width());
    place();

    if (before.title != m_model.title || before.startText != m_model.startText)
        setAccessibleName(m_title.text() + QStringLiteral(", ") + m_model.startText);
    setAccessibleDescription(m_subtitleLine.text());

    if (before.opacity() != m_model.opacity() || before.allDay != m_model.allDay) {
        update();
        return;
    }
    // Only the parts that changed, at their old and their new place.
    QRegion dirty;
    auto touch = [&](const QRectF& a, const QRectF& b, bool changed) {
        if (changed || a != b)
            dirty += a.toAlignedRect().adjusted(-1, -1, 1, 1) | b.toAlignedRect().adjusted(-1, -1, 1, 1);
    };
    touch(oldLayout.time, m_layout.time,
          before.startText != m_model.startText || before.endText != m_model.endText);
    touch(oldLayout.bar, m_layout.bar, before.color != m_model.color);
    touch(oldLayout.text, m_layout.text,
          oldTitle != m_title.shown() || oldSubtitle != m_subtitleLine.shown() || oldIcon != m_icon.shown());
    touch(oldLayout.status, m_layout.status,
          before.status != m_model.status || before.countdown != m_model.countdown);
    touch(oldLayout.meeting, m_layout.meeting, before.meeting != m_model.meeting);
    touch(oldLayout.badge, m_layout.badge, before.notion != m_model.notion);
    if (!dirty.isEmpty())
        update(dirty);
}

void EventRow::place() {
    const bool join = m_model.meeting == Model::Meeting::join;
    if (join)
        m_join->setGeometry(m_layout.meeting.toAlignedRect());
    m_join->setVisible(join);
}

void EventRow::resizeEvent(QResizeEvent*) {
    apply(m_model);
}

void EventRow::setHovering(bool hovering) {
    if (hovering == m_hovering)
        return;
    m_hovering = hovering;
    update();
}

void EventRow::enterEvent(QEnterEvent*) {
    setHovering(true);
}

void EventRow::leaveEvent(QEvent*) {
    setHovering(false);
}

void EventRow::hideEvent(QHideEvent*) {
    // Hidden under the pointer (the agenda gave way to a detail): no leave event follows.
    setHovering(false);
}

void EventRow::mousePressEvent(QMouseEvent* event) {
    m_pressed = event->button() == Qt::LeftButton;
}

void EventRow::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = std::exchange(m_pressed, false) && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    if (click)
        emit activated(m_event);
}

void EventRow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // A past row is dimmed as a whole, its hover highlight too.
    p.setOpacity(m_model.opacity());
    if (m_hovering) {
        QPainterPath background;
        background.addRoundedRect(QRectF(rect()), 8, 8);
        p.fillPath(background, Theme::white(0.1));
    }
    const Layout& l = m_layout;

    // Times, right-aligned in their column.
    if (m_model.allDay) {
        m_start.draw(p, l.time, Qt::AlignRight, Theme::white());
    } else {
        const auto [startBaseline, endBaseline] =
            TextLine::stackedBaselines(m_start, m_end, 1, l.time.center().y());
        m_start.draw(p, l.time.right() - m_start.width(), startBaseline, Theme::white());
        m_end.draw(p, l.time.right() - m_end.width(), endBaseline, Theme::white(0.45));
    }

    p.setPen(Qt::NoPen);
    p.setBrush(m_model.color);
    p.drawRoundedRect(l.bar, 2, 2);

    // Title over subtitle.
    const auto [titleBaseline, subtitleBaseline] =
        TextLine::stackedBaselines(m_title, m_subtitleLine, 2, l.text.center().y());
    qreal x = l.text.left();
    if (!m_model.icon.isEmpty()) {
        m_icon.draw(p, x, titleBaseline, Theme::white());
        x += m_icon.width() + 5;
    }
    m_title.draw(p, x, titleBaseline, Theme::white());
    m_subtitleLine.draw(p, l.text.left(), subtitleBaseline, Theme::white(0.55));

    if (m_model.status == Model::Status::live) {
        QPainterPath capsule;
        capsule.addRoundedRect(l.status, l.status.height() / 2, l.status.height() / 2);
        p.fillPath(capsule, QColor::fromRgbF(Theme::green().redF(), Theme::green().greenF(),
                                             Theme::green().blueF(), 0.9f));
        m_status.draw(p, l.status, Qt::AlignHCenter, Theme::black());
    } else if (m_model.status == Model::Status::countdown) {
        m_status.draw(p, l.status, Qt::AlignLeft, Theme::white(0.55));
    }

    if (m_model.meeting == Model::Meeting::symbol)
        Symbol::paint(p, u"video.fill", l.meeting.center(), videoSize, Theme::white(0.6));

    if (m_model.notion) {
        QPainterPath badge;
        badge.addRoundedRect(l.badge, 3, 3);
        p.fillPath(badge, Theme::white(0.15));
        p.setFont(notionBadgeFont());
        p.setPen(Theme::white());
        p.drawText(l.badge, Qt::AlignCenter, QStringLiteral("N"));
    }

    Symbol::paint(p, u"chevron.right", l.chevron.center(), chevronSize, Theme::white(m_hovering ? 0.6 : 0.25),
                  QFont::DemiBold);
}
