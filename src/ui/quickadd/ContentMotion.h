#pragma once

#include <QEasingCurve>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QVariantAnimation>

#include <chrono>
#include <functional>

class InviteeChip;
class QLayout;
class QWidget;

// Quick add's motion from one view to the next: the rows of its layouts slide from where they were
// drawn to where the change puts them, a block that goes fades out where it was, a block that comes
// fades in where it lands, and guest chips fade and grow in or shrink and fade out. One clock drives
// it all. A change that arrives while a run goes on takes every piece on from where it is drawn, so
// nothing jumps; a change that moves nothing (a publish of the agenda, the focus) leaves the clock
// alone and only sends the rows on to their new places.
//
// No graphics effect is used: the panel fades its whole content with one, and effects must not nest.
// A block fades out as a picture of itself, and fades in under a black veil that clears (the panel is
// black behind it). Either shows only between the rows above and below it as they are drawn: rows
// that slide over a block cover it as a card would, so that no two texts are ever drawn over each
// other. While a run goes on its layouts are switched off, so that only the run moves their rows; the
// end switches them on again and lays them out as they are.
//
// A change: begin(), fadeOut() for each block about to be hidden; change the widgets; fadeIn() for
// each block just shown, popIn() and popOut() for chips; start().
class ContentMotion : public QObject {
    Q_OBJECT

public:
    enum class Layer {
        below, // under its siblings: rows sliding into its place cover it
        above, // over its siblings: a wording that fades into the next one
    };

    // The layouts whose rows slide; they must outlive the motion.
    explicit ContentMotion(const QList<QLayout*>& layouts, QObject* parent = nullptr);
    ~ContentMotion() override;

    bool isRunning() const;

    // Before a change: where every row is drawn now.
    void begin();
    // Before `block` is hidden: a picture of it stays where it is and fades out.
    void fadeOut(QWidget* block, Layer layer = Layer::below);
    // After `block` was shown: it fades in where the layout puts it.
    void fadeIn(QWidget* block);
    // A chip just made: it fades in and grows from 0.85 about its centre.
    void popIn(InviteeChip* chip);
    // A chip whose guest went: it leaves its layout, shrinks and fades where it is, and is deleted.
    void popOut(InviteeChip* chip);
    // After the change: runs it over `duration` along `curve`, from where everything is drawn.
    // `laidOut` runs once the rows are where the change puts them, before they slide: the place to
    // scroll a row into sight (a row drawn in a scroller keeps its place on screen when it scrolls).
    void start(const QEasingCurve& curve, std::chrono::milliseconds duration,
               const std::function<void()>& laidOut = {});
    // After a change that moves nothing while a run goes on: rows whose place changed go on there
    // within the run, rows just shown take their place at once.
    void follow();
    // Ends the run at once, everything where the last change put it.
    void finish();

private:
    // A value that goes from `from` to `to` over the part of the run after `base` (the clock's eased
    // value when it was last set), so that a change in the middle goes on from what is drawn.
    struct Track {
        qreal from = 0;
        qreal to = 1;
        qreal base = 0;
    };
    struct Slide {
        QPointer<QWidget> widget;
        QPoint from;
        QPoint to;
        qreal base = 0;
    };
    struct Fade {
        QPointer<QWidget> layer; // a picture or a veil
        QPointer<QWidget> block; // the row of a layout it stands for (the veil's is the one it covers)
        // The rows next to the block: it shows only between them as they are drawn, so that a row
        // sliding over it covers it rather than mixing with it.
        QPointer<QWidget> above;
        QPointer<QWidget> below;
        Track opacity;
    };
    struct Pop {
        QPointer<InviteeChip> chip;
        Track appearance;
        bool leaving = false;
    };

    qreal progress(qreal base) const;
    void captureRows();
    void findNeighbours(Fade& fade) const;
    static void bound(const Fade& fade);
    void place(bool keepClock, const std::function<void()>& laidOut);
    void tick();
    void clear();

    QList<QPointer<QLayout>> m_layouts;
    QVariantAnimation m_clock;
    qreal m_value = 1;                // the clock's eased value
    QHash<QWidget*, QPoint> m_drawn;  // where the rows were drawn at begin(), in their host's parent
    QHash<QWidget*, QPoint> m_hostAt; // where the hosts of the rows were then
    QList<Slide> m_slides;
    QList<Fade> m_fades;
    QList<Pop> m_pops;
};
