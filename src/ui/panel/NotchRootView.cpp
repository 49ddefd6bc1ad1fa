#include "ui/panel/NotchRootView.h"

#include "core/settings/AppSettings.h"
#include "core/store/EventStore.h"
#include "ui/controls/Motion.h"
#include "ui/controls/Theme.h"
#include "ui/notch/NotchController.h"
#include "ui/notch/NotchState.h"
#include "ui/panel/AlertBanner.h"
#include "ui/panel/ExpandedView.h"
#include "ui/panel/PeekView.h"

#include <QCursor>
#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPauseAnimation>
#include <QPixmap>
#include <QPropertyAnimation>
#include <QSequentialAnimationGroup>
#include <QWindow>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

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

// The mode's fade: its delay, then `opacity` (the sequence takes it over) going from `from` to `to`.
QSequentialAnimationGroup* fadeSequence(NotchMode mode, QVariantAnimation* opacity, qreal from, qreal to,
                                        QObject* parent) {
    const FadeTiming timing = fadeTiming(mode);
    auto* group = new QSequentialAnimationGroup(parent);
    if (timing.delay > 0)
        group->addPause(timing.delay);
    opacity->setDuration(timing.duration);
    opacity->setStartValue(from);
    opacity->setEndValue(to);
    opacity->setEasingCurve(QEasingCurve::OutQuad);
    group->addAnimation(opacity);
    return group;
}

// The shadow's fall-off across a straight edge, from outside in, read off the middle of the tile.
const QGradientStops& shadowEdge() {
    static const QGradientStops stops = [] {
        const QImage tile = shadowTile().toImage();
        const int middle = tile.height() / 2;
        QGradientStops profile;
        for (int x = 0; x <= shadowMargin; x += 3) {
            const int alpha = qAlpha(tile.pixel(std::min(x, tile.width() - 1), middle));
            profile.append({qreal(x) / shadowMargin, QColor(0, 0, 0, alpha)});
        }
        return profile;
    }();
    return stops;
}

// The shadow's opacity under the alert and the expanded panel.
constexpr qreal restingShadowOpacity = 0.5;

// The shadow's corners and edges for a margin of `margin` at a device scale, in device pixels:
// corners top left, top right, bottom left, bottom right; edges top, bottom, left, right, each a
// short strip of the fall-off to repeat along its side.
struct ShadowPieces {
    int margin = 0;
    qreal scale = 0;
    int depth = 0; // the margin in device pixels
    std::array<QPixmap, 4> corners;
    std::array<QPixmap, 4> edges;
};

const ShadowPieces& shadowPieces(int margin, qreal scale) {
    // The last two: the app's own scale, and the snapshot's.
    static std::array<ShadowPieces, 2> cache;
    static int next = 0;
    for (const ShadowPieces& pieces : cache) {
        if (pieces.margin == margin && qFuzzyCompare(pieces.scale, scale))
            return pieces;
    }
    ShadowPieces& pieces = cache[size_t(next)];
    next = (next + 1) % int(cache.size());
    pieces.margin = margin;
    pieces.scale = scale;
    // A whole number of device pixels for the margin, so that the pieces meet without a seam.
    pieces.depth = std::max(1, qRound(margin * scale));
    const int d = pieces.depth;
    const QImage tile = shadowTile().toImage();
    const int tm = shadowMargin;
    const int ts = tile.width();
    const QPoint sources[] = {{0, 0}, {ts - tm, 0}, {0, ts - tm}, {ts - tm, ts - tm}};
    for (size_t i = 0; i < 4; ++i) {
        const QImage corner = tile.copy(QRect(sources[i], QSize(tm, tm)))
                                  .scaled(d, d, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        QImage faded(corner.size(), QImage::Format_ARGB32_Premultiplied);
        faded.fill(Qt::transparent);
        QPainter painter(&faded);
        painter.setOpacity(restingShadowOpacity);
        painter.drawImage(0, 0, corner);
        painter.end();
        pieces.corners[i] = QPixmap::fromImage(std::move(faded));
        pieces.corners[i].setDevicePixelRatio(scale);
    }
    constexpr int length = 64;
    const QPointF ends[4][2] = {
        {{0, 0}, {0, qreal(d)}}, {{0, qreal(d)}, {0, 0}}, {{0, 0}, {qreal(d), 0}}, {{qreal(d), 0}, {0, 0}}};
    for (size_t i = 0; i < 4; ++i) {
        QImage strip(i < 2 ? QSize(length, d) : QSize(d, length), QImage::Format_ARGB32_Premultiplied);
        strip.fill(Qt::transparent);
        QLinearGradient gradient(ends[i][0], ends[i][1]);
        gradient.setStops(shadowEdge());
        QPainter painter(&strip);
        painter.setOpacity(restingShadowOpacity);
        painter.fillRect(strip.rect(), gradient);
        painter.end();
        pieces.edges[i] = QPixmap::fromImage(std::move(strip));
        pieces.edges[i].setDevicePixelRatio(scale);
    }
    return pieces;
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
    connect(&m_morph, &QVariantAnimation::finished, this, [this] {
        setSilhouette(m_to);
        // Only once expanded: a move over the notch of a collapsed panel would open it again.
        if (m_mode == NotchMode::expanded)
            refreshPointer(this);
    });

    m_mode = notchMode(m_state.expanded(), m_store.alert().has_value(), m_settings.showPeek(),
                       m_store.peek().has_value());
    m_silhouette = m_to = NotchSilhouette::forMode(m_state.geometry().notchSize, m_mode);

    connect(&m_state, &NotchState::expandedChanged, this, &NotchRootView::refreshMode);
    connect(&m_state, &NotchState::geometryChanged, this, &NotchRootView::refreshMode);
    connect(&m_store, &EventStore::peekChanged, this, &NotchRootView::refreshMode);
    connect(&m_store, &EventStore::alertChanged, this, &NotchRootView::refreshMode);
    connect(&m_settings, &AppSettings::showPeekChanged, this, &NotchRootView::refreshMode);

    setModeContent(NotchMode::peek, new PeekView(m_store, m_state));
    setModeContent(NotchMode::alert, new AlertBanner(m_store, m_state));
    setModeContent(NotchMode::expanded, new ExpandedView(m_state, m_store, m_settings));
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
    if (slot.fade)
        slot.fade->stop();
    if (slot.widget != content)
        delete slot.widget;
    slot = {content, {}, {}, 0};
    if (!content)
        return;
    content->setParent(m_stage);
    content->setGraphicsEffect(nullptr);
    content->setAttribute(Qt::WA_TransparentForMouseEvents, false);
    content->setVisible(mode == m_mode);
    layoutStage();
}

QWidget* NotchRootView::modeContent(NotchMode mode) const {
    return m_contents[size_t(mode)].widget;
}

void NotchRootView::refreshPointer(QWidget* inPanel) {
    QWidget* top = inPanel->window();
    QWindow* handle = top->windowHandle();
    if (!handle || !top->isVisible())
        return;
    const QPoint global = QCursor::pos();
    const QPoint local = top->mapFromGlobal(global);
    if (!top->rect().contains(local))
        return;
    QMouseEvent move(QEvent::MouseMove, QPointF(local), QPointF(local), QPointF(global), Qt::NoButton,
                     QGuiApplication::mouseButtons(), QGuiApplication::keyboardModifiers());
    QCoreApplication::sendEvent(handle, &move);
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
    // Clipping to the outline costs a region per frame, and every paint inside a clip of that many
    // rectangles: only contents need it, and only while the outline moves. At rest each mode's
    // content keeps within its outline (its padding clears the rounded corners).
    if (showing && isMorphing())
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
    // Back part way through its fade out: the live content carries on from there.
    const std::optional<qreal> leftAt =
        slot.leaving.isNull() ? std::nullopt : std::optional(slot.leavingOpacity);
    slot.leaving = QPixmap();
    if (!Motion::enabled()) {
        content->setGraphicsEffect(nullptr);
        content->setAttribute(Qt::WA_TransparentForMouseEvents, false);
        content->setVisible(in);
        layoutStage();
        update();
        return;
    }
    if (!in) {
        fadeOut(slot, mode);
        return;
    }
    // An effect left by a fade cut short carries on from the opacity it reached.
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(content->graphicsEffect());
    if (!effect) {
        effect = new QGraphicsOpacityEffect(content);
        effect->setOpacity(leftAt.value_or(content->isHidden() ? 0.0 : 1.0));
        content->setGraphicsEffect(effect);
    }
    content->show();
    // Until it has faded in, clicks and the pointer pass through the content to this view: unseen and
    // still sliding with the silhouette, it would take a click meant for the notch, and a row that
    // slid under a still pointer and on would keep its hover.
    content->setAttribute(Qt::WA_TransparentForMouseEvents, true);
    layoutStage();
    update();

    auto* group =
        fadeSequence(mode, new QPropertyAnimation(effect, "opacity"), effect->opacity(), 1.0, content);
    connect(group, &QAbstractAnimation::finished, content, [this, content, mode] {
        // Opacity effects cost a render pass of their own: none once the fade is over.
        content->setGraphicsEffect(nullptr);
        content->setAttribute(Qt::WA_TransparentForMouseEvents, false);
        // As after the morph, and only once expanded: over the notch of a collapsed panel a move
        // would open it.
        if (mode == NotchMode::expanded)
            refreshPointer(this);
    });
    slot.fade = group;
    group->start(QAbstractAnimation::DeleteWhenStopped);
}

void NotchRootView::fadeOut(Content& slot, NotchMode mode) {
    QWidget* content = slot.widget;
    // Where a fade in that was cut short had got to.
    qreal from = content->isHidden() ? 0.0 : 1.0;
    if (auto* effect = qobject_cast<QGraphicsOpacityEffect*>(content->graphicsEffect()))
        from = effect->opacity();
    content->setGraphicsEffect(nullptr);
    if (from > 0)
        slot.leaving = content->grab();
    content->hide();
    layoutStage();
    update();
    if (slot.leaving.isNull())
        return;

    slot.leavingOpacity = from;
    auto* opacity = new QVariantAnimation;
    auto* group = fadeSequence(mode, opacity, from, 0.0, this);
    const size_t index = size_t(mode);
    connect(opacity, &QVariantAnimation::valueChanged, this, [this, index](const QVariant& value) {
        m_contents[index].leavingOpacity = value.toReal();
        update();
    });
    connect(group, &QAbstractAnimation::finished, this, [this, index] {
        m_contents[index].leaving = QPixmap();
        update();
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
    for (const Content& content : m_contents) {
        if (content.leaving.isNull() || !content.widget)
            continue;
        painter.save();
        painter.setClipPath(path);
        painter.setOpacity(content.leavingOpacity);
        painter.drawPixmap(content.widget->geometry().topLeft() + m_stage->pos(), content.leaving);
        painter.restore();
    }
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
    const int m = std::min({shadowMargin, target.width() / 2, target.height() / 2});
    if (m <= 0)
        return;
    // Pieces made once at the device's scale and blitted as they are: scaling the tile, or filling
    // gradients, on every frame of a morph would cost most of the frame.
    const QTransform device = painter.deviceTransform();
    const qreal scale = device.type() <= QTransform::TxScale ? device.m11() : 1.0;
    const ShadowPieces& pieces = shadowPieces(m, scale > 0 ? scale : 1.0);
    painter.save();
    // The pieces carry the opacity of a panel at rest; a blit at full opacity takes the fast path.
    painter.setOpacity(std::min<qreal>(1, m_silhouette.shadowOpacity / restingShadowOpacity));
    const int x[] = {target.left(), target.left() + m, target.right() + 1 - m, target.right() + 1};
    const int y[] = {target.top(), target.top() + m, target.bottom() + 1 - m, target.bottom() + 1};
    painter.drawPixmap(x[0], y[0], pieces.corners[0]);
    painter.drawPixmap(x[2], y[0], pieces.corners[1]);
    painter.drawPixmap(x[0], y[2], pieces.corners[2]);
    painter.drawPixmap(x[2], y[2], pieces.corners[3]);
    auto edge = [&](int left, int top, int right, int bottom, const QPixmap& strip) {
        if (right > left && bottom > top)
            painter.drawTiledPixmap(QRect(left, top, right - left, bottom - top), strip);
    };
    edge(x[1], y[0], x[2], y[1], pieces.edges[0]); // top
    edge(x[1], y[2], x[2], y[3], pieces.edges[1]); // bottom
    edge(x[0], y[1], x[1], y[2], pieces.edges[2]); // left
    edge(x[2], y[1], x[3], y[2], pieces.edges[3]); // right
    // With the full margin the middle lies under the shape's opaque black, whatever its radii and
    // the shadow's offset; a smaller shape part way through a morph may show it.
    if (m < shadowMargin && x[2] > x[1] && y[2] > y[1])
        painter.fillRect(QRect(x[1], y[1], x[2] - x[1], y[2] - y[1]), Theme::black(restingShadowOpacity));
    painter.restore();
}

void NotchRootView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutStage();
    emit silhouetteChanged();
}

bool NotchRootView::onNotch(QPointF at) const {
    if (m_mode != NotchMode::expanded)
        return silhouetteRect().contains(at);
    const QWidget* content = modeContent(NotchMode::expanded);
    if (!content || !content->testAttribute(Qt::WA_TransparentForMouseEvents))
        return false;
    const QSizeF notch = m_state.geometry().notchSize;
    return QRectF((width() - notch.width()) / 2, 0, notch.width(), notch.height()).contains(at);
}

void NotchRootView::mousePressEvent(QMouseEvent* event) {
    // A press that came with the pointer onto the notch may reach us after the window grew and moved
    // for the hover: its own position is still in the collapsed window's pixels, the screen's is not.
    m_pressed = event->button() == Qt::LeftButton && onNotch(mapFromGlobal(event->globalPosition()));
    event->setAccepted(m_pressed);
}

void NotchRootView::mouseReleaseEvent(QMouseEvent* event) {
    // The panel may have opened meanwhile: a click begun on the notch still ends as one.
    const bool click = std::exchange(m_pressed, false) && event->button() == Qt::LeftButton &&
                       silhouetteRect().contains(mapFromGlobal(event->globalPosition()));
    if (!click)
        return;
    if (NotchController* controller = NotchController::shared())
        controller->expand(true);
}
