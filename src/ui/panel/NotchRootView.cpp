#include "ui/panel/NotchRootView.h"

#include "core/settings/AppSettings.h"
#include "core/store/EventStore.h"
#include "ui/controls/Motion.h"
#include "ui/notch/NotchController.h"
#include "ui/notch/NotchState.h"

#include <QGraphicsOpacityEffect>
#include <QMouseEvent>
#include <QPainter>
#include <QPauseAnimation>
#include <QPixmap>
#include <QPropertyAnimation>
#include <QSequentialAnimationGroup>
#include <qdrawutil.h>

#include <algorithm>
#include <cmath>

namespace {

// The shadow is a blurred rounded square drawn stretched around the shape in nine pieces: blurring
// the real outline on every frame of a morph would cost more than the whole frame may take.
constexpr int shadowCorner = 24;
constexpr int shadowBlurRadius = 9;                // three box passes: about a Gaussian of 9
constexpr int shadowSpread = 3 * shadowBlurRadius; // how far the blur reaches beyond the shape
constexpr int shadowMargin = shadowSpread + shadowCorner;

void boxBlur(QImage& alpha, int radius) {
    const int w = alpha.width(), h = alpha.height();
    QList<int> line(std::max(w, h));
    auto pass = [&](int count, int length, auto at) {
        for (int i = 0; i < count; ++i) {
            for (int j = 0; j < length; ++j)
                line[j] = *at(i, j);
            int sum = 0;
            for (int j = -radius; j <= radius; ++j)
                sum += line[std::clamp(j, 0, length - 1)];
            for (int j = 0; j < length; ++j) {
                *at(i, j) = uchar(sum / (2 * radius + 1));
                sum += line[std::min(j + radius + 1, length - 1)] - line[std::max(j - radius, 0)];
            }
        }
    };
    for (int round = 0; round < 3; ++round) {
        pass(h, w, [&](int y, int x) { return alpha.scanLine(y) + x; });
        pass(w, h, [&](int x, int y) { return alpha.scanLine(y) + x; });
    }
}

const QPixmap& shadowTile() {
    static const QPixmap tile = [] {
        const int core = 2 * shadowCorner + 1;
        QImage alpha(core + 2 * shadowSpread, core + 2 * shadowSpread, QImage::Format_Alpha8);
        alpha.fill(0);
        {
            QPainter painter(&alpha);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(Qt::NoPen);
            painter.setBrush(Qt::black);
            painter.drawRoundedRect(QRectF(shadowSpread, shadowSpread, core, core), shadowCorner,
                                    shadowCorner);
        }
        boxBlur(alpha, shadowBlurRadius);
        return QPixmap::fromImage(alpha.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    }();
    return tile;
}

struct FadeTiming {
    int delay;
    int duration;
};

// The delays let the silhouette grow before the larger contents fade in.
FadeTiming fadeTiming(NotchMode mode) {
    switch (mode) {
    case NotchMode::peek:
        return {0, 150};
    case NotchMode::alert:
        return {80, 180};
    case NotchMode::expanded:
        return {100, 180};
    case NotchMode::collapsed:
        break;
    }
    return {0, 150};
}

} // namespace

NotchRootView::NotchRootView(NotchState& state, EventStore& store, AppSettings& settings, QWidget* parent)
    : QWidget(parent)
    , m_state(state)
    , m_store(store)
    , m_settings(settings)
    , m_stage(new QWidget(this)) {
    // Only the silhouette is drawn: the rest of the window stays see-through, also when the view is
    // rendered on its own (the snapshot mode).
    setAttribute(Qt::WA_TranslucentBackground);
    setAccessibleName(QStringLiteral("Next meetings"));
    setAccessibleDescription(QStringLiteral("Click to open the agenda"));

    m_morph.setStartValue(0.0);
    m_morph.setEndValue(1.0);
    m_morph.setDuration(int(Motion::springDuration.count()));
    m_morph.setEasingCurve(Motion::spring());
    connect(&m_morph, &QVariantAnimation::valueChanged, this, [this](const QVariant& progress) {
        setSilhouette(NotchSilhouette::interpolate(m_from, m_to, progress.toReal()));
    });
    connect(&m_morph, &QVariantAnimation::finished, this, [this] { setSilhouette(m_to); });

    m_mode = notchMode(m_state.expanded(), m_store.alert().has_value(), m_settings.showPeek(),
                       m_store.peek().has_value());
    m_silhouette = m_to = NotchSilhouette::forMode(m_state.geometry().notchSize, m_mode);

    connect(&m_state, &NotchState::expandedChanged, this, &NotchRootView::refreshMode);
    connect(&m_state, &NotchState::geometryChanged, this, &NotchRootView::refreshMode);
    connect(&m_store, &EventStore::peekChanged, this, &NotchRootView::refreshMode);
    connect(&m_store, &EventStore::alertChanged, this, &NotchRootView::refreshMode);
    connect(&m_settings, &AppSettings::showPeekChanged, this, &NotchRootView::refreshMode);
    layoutStage();
}

NotchRootView::~NotchRootView() = default;

bool NotchRootView::isMorphing() const {
    return m_morph.state() == QAbstractAnimation::Running;
}

QRectF NotchRootView::silhouetteRect() const {
    const QSizeF size = m_silhouette.size;
    return {(width() - size.width()) / 2, 0, size.width(), size.height()};
}

QPainterPath NotchRootView::silhouettePath() const {
    return m_silhouette.shape().path(silhouetteRect());
}

void NotchRootView::setModeContent(NotchMode mode, QWidget* content) {
    Content& slot = m_contents[size_t(mode)];
    if (slot.widget != content)
        delete slot.widget;
    slot = {content, {}};
    if (!content)
        return;
    content->setParent(m_stage);
    content->setGraphicsEffect(nullptr);
    content->setVisible(mode == m_mode);
    layoutStage();
}

QWidget* NotchRootView::modeContent(NotchMode mode) const {
    return m_contents[size_t(mode)].widget;
}

void NotchRootView::setShadowEnabled(bool on) {
    if (m_shadowEnabled == on)
        return;
    m_shadowEnabled = on;
    update();
}

void NotchRootView::refreshMode() {
    const NotchMode mode = notchMode(m_state.expanded(), m_store.alert().has_value(), m_settings.showPeek(),
                                     m_store.peek().has_value());
    const NotchSilhouette target = NotchSilhouette::forMode(m_state.geometry().notchSize, mode);
    if (mode == m_mode && target == m_to)
        return;
    const NotchMode previous = std::exchange(m_mode, mode);
    morphTo(target);
    if (previous == mode)
        return;
    fade(previous, false);
    fade(mode, true);
    emit modeChanged(mode, previous);
}

void NotchRootView::morphTo(const NotchSilhouette& target) {
    m_to = target;
    m_morph.stop();
    if (!Motion::enabled()) {
        setSilhouette(target);
        return;
    }
    // From wherever the silhouette is now, also in the middle of another morph.
    m_from = m_silhouette;
    m_morph.start();
}

void NotchRootView::setSilhouette(const NotchSilhouette& silhouette) {
    m_silhouette = silhouette;
    layoutStage();
    update();
    emit silhouetteChanged();
}

void NotchRootView::layoutStage() {
    const QRect stage = silhouetteRect().toAlignedRect();
    m_stage->setGeometry(stage);
    bool showing = false;
    for (size_t i = 0; i < m_contents.size(); ++i) {
        QWidget* content = m_contents[i].widget;
        if (!content)
            continue;
        // Each content keeps its mode's size and stays centred while the shape morphs around it.
        const QSize size = NotchLayout::shapeSize(m_state.geometry().notchSize, NotchMode(i)).toSize();
        content->setGeometry(
            QRect(QPoint((stage.width() - size.width()) / 2, (stage.height() - size.height()) / 2), size));
        showing = showing || !content->isHidden();
    }
    // Clipping to the outline costs a region per frame; only contents need it.
    if (showing)
        m_stage->setMask(QRegion(silhouettePath().translated(-stage.topLeft()).toFillPolygon().toPolygon()));
    else
        m_stage->clearMask();
}

void NotchRootView::fade(NotchMode mode, bool in) {
    Content& slot = m_contents[size_t(mode)];
    QWidget* content = slot.widget;
    if (!content)
        return;
    if (slot.fade)
        slot.fade->stop();
    if (!Motion::enabled()) {
        content->setGraphicsEffect(nullptr);
        content->setVisible(in);
        layoutStage();
        return;
    }
    // An effect left by a fade cut short carries on from the opacity it reached.
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(content->graphicsEffect());
    if (!effect) {
        effect = new QGraphicsOpacityEffect(content);
        effect->setOpacity(content->isHidden() ? 0.0 : 1.0);
        content->setGraphicsEffect(effect);
    }
    content->show();
    layoutStage();

    const FadeTiming timing = fadeTiming(mode);
    auto* group = new QSequentialAnimationGroup(content);
    if (timing.delay > 0)
        group->addPause(timing.delay);
    auto* opacity = new QPropertyAnimation(effect, "opacity", group);
    opacity->setDuration(timing.duration);
    opacity->setStartValue(effect->opacity());
    opacity->setEndValue(in ? 1.0 : 0.0);
    opacity->setEasingCurve(QEasingCurve::OutQuad);
    group->addAnimation(opacity);
    connect(group, &QAbstractAnimation::finished, content, [this, content, in] {
        // Opacity effects cost a render pass of their own: none once the fade is over.
        content->setGraphicsEffect(nullptr);
        content->setVisible(in);
        if (!in)
            layoutStage();
    });
    slot.fade = group;
    group->start(QAbstractAnimation::DeleteWhenStopped);
}

void NotchRootView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF shape = silhouetteRect();
    if (m_shadowEnabled && m_silhouette.shadowOpacity > 0.001)
        paintShadow(painter, shape);
    const QPainterPath path = m_silhouette.shape().path(shape);
    painter.fillPath(path, Qt::black);
    if (m_silhouette.outlineOpacity > 0.001) {
        QPen pen(QColor(255, 255, 255, qRound(255 * m_silhouette.outlineOpacity)), 1);
        pen.setCapStyle(Qt::FlatCap);
        pen.setJoinStyle(Qt::MiterJoin);
        painter.strokePath(path, pen);
    }
}

void NotchRootView::paintShadow(QPainter& painter, const QRectF& shape) const {
    const QRect target = shape.translated(0, m_silhouette.shadowOffsetY)
                             .adjusted(-shadowSpread, -shadowSpread, shadowSpread, shadowSpread)
                             .toAlignedRect();
    // A small shape part way through a morph: the corner pieces shrink rather than overlap.
    const int margin = std::min({shadowMargin, target.width() / 2, target.height() / 2});
    painter.save();
    painter.setOpacity(m_silhouette.shadowOpacity);
    qDrawBorderPixmap(&painter, target, QMargins(margin, margin, margin, margin), shadowTile(),
                      shadowTile().rect(), QMargins(shadowMargin, shadowMargin, shadowMargin, shadowMargin));
    painter.restore();
}

void NotchRootView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutStage();
    emit silhouetteChanged();
}

void NotchRootView::mousePressEvent(QMouseEvent* event) {
    m_pressed = event->button() == Qt::LeftButton && m_mode != NotchMode::expanded &&
                silhouetteRect().contains(event->position());
    event->setAccepted(m_pressed);
}

void NotchRootView::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = std::exchange(m_pressed, false) && event->button() == Qt::LeftButton &&
                       m_mode != NotchMode::expanded && silhouetteRect().contains(event->position());
    if (!click)
        return;
    if (NotchController* controller = NotchController::shared())
        controller->expand(true);
}
