#pragma once

#include <QColor>
#include <QWidget>

class QPainter;
class QVariantAnimation;

// A small indeterminate progress indicator: an arc that turns while the spinner is shown (the
// Google card while a sign-in runs, a confirm button while its delete runs). With animations off it
// is a still arc.
class ActivitySpinner : public QWidget {
    Q_OBJECT

public:
    // `side` is the square it takes: 16 for the small size, 11 for the mini one.
    explicit ActivitySpinner(int side = 16, QWidget* parent = nullptr);

    void setColor(const QColor& color);

    // Paints the arc in `box` turned by `angle` degrees; for controls that draw a spinner inside.
    static void paint(QPainter& painter, const QRectF& box, qreal angle, const QColor& color);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    int m_side;
    QColor m_color;
    qreal m_angle = 0;
    QVariantAnimation* m_turn = nullptr;
};
