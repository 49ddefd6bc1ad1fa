#include "ui/quickadd/ContentMotion.h"

#include "ui/quickadd/InviteeChip.h"

#include <QEvent>
#include <QLayout>
#include <QPainter>
#include <QScrollArea>
#include <QWidget>

#include <algorithm>

namespace {

// With less than this share of a run left, a piece sent somewhere new goes there at once: spread
// over so little time its move would be a jump anyway.
constexpr qreal shortestRest = 0.05;

// A fading block as drawn: its picture, or (without one) the black that hides the block under it.
// It never takes a click or the keyboard.
class FadeLayer final : public QWidget {
public:
    FadeLayer(QWidget* parent, QPixmap picture)
        : QWidget(parent)
        , m_picture(std::move(picture)) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        // A veil covers all of its block, also when the block is laid out again under it.
        if (isVeil()) {
            setGeometry(parent->rect());
            parent->installEventFilter(this);
        }
    }

    bool isVeil() const { return m_picture.isNull(); }
    qreal opacity() const { return m_opacity; }
    void setOpacity(qreal opacity) {
        opacity = std::clamp<qreal>(opacity, 0, 1);
        if (opacity == m_opacity)
            return;
        m_opacity = opacity;
        update();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == parentWidget() && event->type() == QEvent::Resize)
            setGeometry(parentWidget()->rect());
        return QWidget::eventFilter(watched, event);
    }
    void paintEvent(QPaintEvent*) override {
        if (m_opacity <= 0)
            return;
        QPainter p(this);
        p.setOpacity(m_opacity);
        if (isVeil())
            p.fillRect(rect(), Qt::black);
        else
            p.drawPixmap(0, 0, m_picture);
    }

private:
    QPixmap m_picture;
    qreal m_opacity = 1;
};

FadeLayer* veilOver(QWidget* block) {
    for (QObject* child : block->children()) {
        if (auto* layer = dynamic_cast<FadeLayer*>(child); layer && layer->isVeil())
            return layer;
    }
    return nullptr;
}

} // namespace

ContentMotion::ContentMotion(const QList<QLayout*>& layouts, QObject* parent)
    : QObject(parent) {
    for (QLayout* layout : layouts)
        m_layouts << layout;
    m_clock.setStartValue(0.0);
    m_clock.setEndValue(1.0);
    connect(&m_clock, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_value = value.toReal();
        tick();
    });
    connect(&m_clock, &QAbstractAnimation::finished, this, &ContentMotion::finish);
}

ContentMotion::~ContentMotion() {
    // The widgets may be on their way out with the view: nothing is touched any more.
    m_clock.blockSignals(true);
    m_clock.stop();
}

bool ContentMotion::isRunning() const {
    return m_clock.state() == QAbstractAnimation::Running;
}

qreal ContentMotion::progress(qreal base) const {
    const qreal rest = 1 - base;
    if (rest < shortestRest)
        return 1;
    return (m_value - base) / rest;
}

void ContentMotion::begin() {
    captureRows();
    // Whatever fades goes on from how it is drawn now, on the clock that start() sets going again.
    for (Fade& fade : m_fades) {
        if (auto* layer = static_cast<FadeLayer*>(fade.layer.data()))
            fade.opacity = {layer->opacity(), fade.opacity.to, 0};
    }
    for (Pop& pop : m_pops) {
        if (pop.chip)
            pop.appearance = {pop.chip->appearance(), pop.appearance.to, 0};
    }
}

void ContentMotion::captureRows() {
    m_drawn.clear();
    m_hostAt.clear();
    for (const QPointer<QLayout>& layout : std::as_const(m_layouts)) {
        if (layout && layout->parentWidget())
            m_hostAt.insert(layout->parentWidget(), layout->parentWidget()->pos());
        for (int i = 0; layout && i < layout->count(); ++i) {
            QWidget* row = layout->itemAt(i)->widget();
            if (row && !row->isHidden())
                m_drawn.insert(row, row->pos() + row->parentWidget()->pos());
        }
    }
}

void ContentMotion::fadeOut(QWidget* block, Layer layer) {
    QWidget* parent = block->parentWidget();
    if (!parent || block->isHidden())
        return;
    // A block that was coming in: its picture is taken whole, and it is whole when it comes again.
    block->clearMask();
    // The picture shows the block as drawn, veil and all (the veil itself has nothing left to cover),
    // on nothing: the panel's black is behind it.
    const qreal scale = block->devicePixelRatioF();
    QPixmap picture((QSizeF(block->size()) * scale).toSize());
    picture.setDevicePixelRatio(scale);
    picture.fill(Qt::transparent);
    block->render(&picture, QPoint(), QRegion(), QWidget::DrawChildren);
    if (FadeLayer* veil = veilOver(block)) {
        m_fades.removeIf([veil](const Fade& fade) { return fade.layer == veil; });
        delete veil;
    }
    auto* ghost = new FadeLayer(parent, std::move(picture));
    ghost->setGeometry(block->geometry());
    if (layer == Layer::below)
        ghost->lower();
    else
        ghost->raise();
    ghost->show();
    m_fades.append({ghost, block, {}, {}, {1, 0, 0}});
}

void ContentMotion::fadeIn(QWidget* block) {
    if (veilOver(block))
        return;
    auto* veil = new FadeLayer(block, QPixmap());
    veil->raise();
    veil->show();
    m_fades.append({veil, block, {}, {}, {1, 0, 0}});
}

void ContentMotion::popIn(InviteeChip* chip) {
    chip->setAppearance(0);
    m_pops.append({chip, {0, 1, 0}, false});
}

void ContentMotion::popOut(InviteeChip* chip) {
    if (QWidget* parent = chip->parentWidget(); parent && parent->layout())
        parent->layout()->removeWidget(chip);
    chip->setAttribute(Qt::WA_TransparentForMouseEvents);
    if (chip->removeButton())
        chip->removeButton()->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_pops.removeIf([chip](const Pop& pop) { return pop.chip == chip; });
    m_pops.append({chip, {chip->appearance(), 0, 0}, true});
}

void ContentMotion::start(const QEasingCurve& curve, std::chrono::milliseconds duration,
                          const std::function<void()>& laidOut) {
    m_clock.stop();
    m_clock.setEasingCurve(curve);
    m_clock.setDuration(int(duration.count()));
    m_value = 0;
    place(false, laidOut);
    tick();
    m_clock.start();
}

void ContentMotion::follow() {
    if (!isRunning())
        return;
    captureRows();
    place(true, {});
    tick();
}

// Lays the rows out where the change puts them and sets each one sliding there from where it was
// drawn: from the start of the run, or (keepClock) from now within the run under way. Each fading
// block learns its new neighbours.
void ContentMotion::place(bool keepClock, const std::function<void()>& laidOut) {
    for (const QPointer<QLayout>& layout : std::as_const(m_layouts)) {
        QWidget* host = layout ? layout->parentWidget() : nullptr;
        if (!host)
            continue;
        // What the rows hold settles from the inside out, and would only on the next turn of the event
        // loop: at once, inner layouts first, so that each row asks for the room it needs now.
        const QList<QWidget*> inner = host->findChildren<QWidget*>();
        for (auto it = inner.crbegin(); it != inner.crend(); ++it) {
            if (QLayout* own = (*it)->layout())
                own->activate();
        }
        // A row in a scroller takes the width it now needs at once, as its scroller would on the next
        // turn of the event loop and move what is drawn: wider, so that nothing in it is squeezed, or
        // narrower, scrolled back as far as it must be.
        QWidget* viewport = host->parentWidget();
        if (auto* scroller = viewport ? qobject_cast<QScrollArea*>(viewport->parentWidget()) : nullptr;
            scroller && scroller->widget() == host && scroller->widgetResizable()) {
            const int wide = std::max(viewport->width(), host->minimumSizeHint().width());
            if (host->width() != wide)
                host->resize(wide, host->height());
        }
        layout->setEnabled(false);
        layout->invalidate();
        layout->setGeometry(host->rect());
    }
    if (laidOut)
        laidOut();
    // Chips on their way out stay where they are drawn, too.
    for (const Pop& pop : std::as_const(m_pops)) {
        QWidget* host = pop.chip && pop.leaving ? pop.chip->parentWidget() : nullptr;
        if (const auto was = m_hostAt.constFind(host); host && was != m_hostAt.cend())
            pop.chip->move(pop.chip->pos() + *was - host->pos());
    }

    QList<Slide> slides;
    for (const QPointer<QLayout>& layout : std::as_const(m_layouts)) {
        QWidget* host = layout ? layout->parentWidget() : nullptr;
        for (int i = 0; host && i < layout->count(); ++i) {
            QWidget* row = layout->itemAt(i)->widget();
            if (!row || row->isHidden())
                continue;
            const QPoint to = row->pos();
            const auto drawn = m_drawn.constFind(row);
            if (drawn == m_drawn.cend())
                continue; // just shown: it starts where it lands
            // Where it was drawn, in the host as it stands now (a scroller may have moved it).
            const QPoint from = *drawn - host->pos();
            const auto running = std::find_if(m_slides.cbegin(), m_slides.cend(),
                                              [row](const Slide& s) { return s.widget == row; });
            if (keepClock && running != m_slides.cend() && running->to == to)
                slides << *running;
            else if (from != to)
                slides << Slide{row, from, to, keepClock ? m_value : 0};
        }
    }
    m_slides = slides;
    m_drawn.clear();
    m_hostAt.clear();
    for (Fade& fade : m_fades)
        findNeighbours(fade);
}

void ContentMotion::tick() {
    for (const Slide& slide : std::as_const(m_slides)) {
        if (!slide.widget)
            continue;
        const qreal rest = 1 - progress(slide.base);
        const QPoint at = slide.to + (QPointF(slide.from - slide.to) * rest).toPoint();
        if (slide.widget->pos() != at)
            slide.widget->move(at);
    }
    for (const Fade& fade : std::as_const(m_fades)) {
        auto* layer = static_cast<FadeLayer*>(fade.layer.data());
        if (!layer)
            continue;
        const qreal p = progress(fade.opacity.base);
        layer->setOpacity(fade.opacity.from + (fade.opacity.to - fade.opacity.from) * p);
        bound(fade);
    }
    for (const Pop& pop : std::as_const(m_pops)) {
        if (!pop.chip)
            continue;
        const qreal p = progress(pop.appearance.base);
        pop.chip->setAppearance(pop.appearance.from + (pop.appearance.to - pop.appearance.from) * p);
    }
}

// The rows shown next to the block in its layout, now that the change is made.
void ContentMotion::findNeighbours(Fade& fade) const {
    fade.above = fade.below = nullptr;
    for (const QPointer<QLayout>& layout : m_layouts) {
        const int at = layout && fade.block ? layout->indexOf(fade.block) : -1;
        if (at < 0)
            continue;
        const auto shown = [&](int i) {
            QWidget* row = layout->itemAt(i)->widget();
            return row && !row->isHidden() ? row : nullptr;
        };
        for (int i = at - 1; i >= 0 && !fade.above; --i)
            fade.above = shown(i);
        for (int i = at + 1; i < layout->count() && !fade.below; ++i)
            fade.below = shown(i);
    }
}

void ContentMotion::bound(const Fade& fade) {
    if (!fade.layer || !fade.block)
        return;
    auto* layer = static_cast<FadeLayer*>(fade.layer.data());
    QWidget* masked = layer->isVeil() ? fade.block.data() : layer;
    const QRect area = masked->geometry();
    int top = 0;
    int bottom = area.height();
    if (fade.above)
        top = std::max(top, fade.above->geometry().bottom() + 1 - area.top());
    if (fade.below)
        bottom = std::min(bottom, fade.below->y() - area.top());
    if (top <= 0 && bottom >= area.height()) {
        if (!masked->mask().isEmpty())
            masked->clearMask();
    } else if (bottom > top) {
        masked->setMask(QRect(0, top, area.width(), bottom - top));
    } else {
        // Covered whole: an empty mask would show it all, a mask beside it shows nothing.
        masked->setMask(QRect(-1, -1, 1, 1));
    }
}

void ContentMotion::finish() {
    m_clock.stop();
    m_value = 1;
    clear();
    for (const QPointer<QLayout>& layout : std::as_const(m_layouts)) {
        if (!layout)
            continue;
        layout->setEnabled(true);
        layout->invalidate();
        layout->activate();
    }
}

void ContentMotion::clear() {
    for (const Fade& fade : std::as_const(m_fades)) {
        if (fade.block && fade.layer && fade.layer->parentWidget() == fade.block)
            fade.block->clearMask();
        delete fade.layer.data();
    }
    for (const Pop& pop : std::as_const(m_pops)) {
        if (!pop.chip)
            continue;
        if (pop.leaving) {
            // Later: it may be the chip whose × is being handled.
            pop.chip->hide();
            pop.chip->deleteLater();
        } else {
            pop.chip->setAppearance(1);
        }
    }
    m_fades.clear();
    m_pops.clear();
    m_slides.clear();
    m_drawn.clear();
}
