#pragma once

#include "ui/notch/NotchGeometry.h"
#include "ui/notch/NotchShape.h"

#include <QPainterPath>
#include <QPixmap>
#include <QPointer>
#include <QVariantAnimation>
#include <QWidget>

#include <array>

class AppSettings;
class EventStore;
class NotchState;

// The one view inside the panel window. It picks the panel's mode from the state, the store and the
// settings (notchMode()), draws the black silhouette of that mode at the top centre of the window,
// morphs it with the panel's spring whenever the mode changes, and shows each mode's content inside
// it. A click on the silhouette of a collapsed panel (bare notch, peek or alert) expands it pinned,
// and so does a click on the notch while the expanded panel opens around it.
//
// It shows the peek (PeekView), the alert (AlertBanner) and the expanded panel (ExpandedView).
// Hosting content: setModeContent() gives a mode its widget. The view shows it only in that mode,
// at the mode's shape size (NotchLayout::shapeSize: 600 × 410 expanded), centred in the silhouette,
// clipped to the silhouette's animated outline, and fades it in and out with the mode's timing
// (peek 0.15 s; alert 0.18 s after 0.08 s; expanded 0.18 s after 0.1 s), so that the shape grows
// before the larger contents appear. A content takes clicks and the pointer once it has faded in.
// modeChanged() tells the content when to refresh.
//
// A content that leaves fades out as a picture of how it looked when its mode ended: the widget
// itself hides at once, so what the state changed together with the mode (quick add and the
// selection go with the expanded panel) never shows in the fade, and the content's own transitions
// never run inside the fade (an opacity effect inside another one cannot be painted).
//
// It needs no controller and no window: the snapshot mode renders it off screen with animations off
// (Motion), where every change shows its final state at once.
class NotchRootView : public QWidget {
    Q_OBJECT
public:
    NotchRootView(NotchState& state, EventStore& store, AppSettings& settings, QWidget* parent = nullptr);
    ~NotchRootView() override;

    NotchState& state() const { return m_state; }
    EventStore& store() const { return m_store; }
    AppSettings& settings() const { return m_settings; }

    // The mode drawn now, or being morphed to.
    NotchMode mode() const { return m_mode; }
    // The silhouette as drawn at this moment, part way through a morph too.
    const NotchSilhouette& silhouette() const { return m_silhouette; }
    bool isMorphing() const;
    // Where the silhouette is drawn in this view (centred at the top) and its outline there.
    QRectF silhouetteRect() const;
    QPainterPath silhouettePath() const;

    // Gives `mode` its content widget, taking ownership; a widget given before for that mode is
    // deleted. Null removes it.
    void setModeContent(NotchMode mode, QWidget* content);
    QWidget* modeContent(NotchMode mode) const;

    // The drop shadow of the alert and expanded modes. Off where no compositor blends it: it would
    // show as a black band.
    void setShadowEnabled(bool on);

    // Tells the widgets under a pointer that stood still while the panel's contents moved beneath it
    // (a morph, a body switching views) where it is now: Qt reports the pointer only when it moves,
    // so a row that slid under it and on would keep its hover highlight.
    static void refreshPointer(QWidget* inPanel);

signals:
    void modeChanged(NotchMode mode, NotchMode previous);
    // Every frame of a morph, and whenever the silhouette moves within the view (a resize).
    void silhouetteChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    struct Content {
        QPointer<QWidget> widget;
        QPointer<QAbstractAnimation> fade;
        // While the content fades out: its picture, drawn at the content's place at this opacity.
        QPixmap leaving;
        qreal leavingOpacity = 0;
    };

    void refreshMode();
    void morphTo(const NotchSilhouette& target);
    void setSilhouette(const NotchSilhouette& silhouette);
    // Moves the clipping stage onto the silhouette and the contents into it.
    void layoutStage();
    void fade(NotchMode mode, bool in);
    void fadeOut(Content& slot, NotchMode mode);
    void paintShadow(QPainter& painter, const QRectF& shape) const;
    // Whether a press there is a press on the notch (the whole silhouette of a collapsed panel).
    bool onNotch(QPointF at) const;

    NotchState& m_state;
    EventStore& m_store;
    AppSettings& m_settings;
    NotchMode m_mode = NotchMode::collapsed;
    NotchSilhouette m_silhouette;
    NotchSilhouette m_from;
    NotchSilhouette m_to;
    QVariantAnimation m_morph;
    QWidget* m_stage; // clips the contents to the silhouette
    std::array<Content, 4> m_contents;
    bool m_shadowEnabled = true;
    bool m_pressed = false;
};
