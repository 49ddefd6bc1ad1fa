#pragma once

#include "ui/quickadd/QuickAddView.h"

#include <QPainter>
#include <QPainterPath>
#include <QWidget>

// The expanded panel's content as it holds quick add: 600 × 410 on black, the view in the body
// below the header band (the notch's height) with 30 on either side and 16 at the bottom.
class QuickAddBody : public QWidget {
public:
    QuickAddBody(NotchState& state, QuickAddEnv& env, qreal notchHeight, QWidget* parent = nullptr)
        : QWidget(parent) {
        setFixedSize(600, 410);
        view = new QuickAddView(state, env, this);
        view->setGeometry(30, int(notchHeight), 540, int(410 - 16 - notchHeight));
    }

    QuickAddView* view;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()), 22, 22);
        p.fillPath(shape, Qt::black);
    }
};
