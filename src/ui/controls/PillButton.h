#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QMarginsF>
#include <QString>

#include <functional>

class QVariantAnimation;

// How a pill-shaped text button looks. `danger` (red, white text) wins over `prominent` (white,
// black text); otherwise the pill is a faint white with white text. `compact` only makes the text
// and the padding smaller.
struct NotchPillStyle {
    bool prominent = false;
    bool compact = false;
    bool danger = false;

    struct Look {
        qreal fontSize;    // semibold
        QMarginsF padding; // around the label
        QColor fill;       // the capsule
        QColor text;       // the label and its symbol
        friend bool operator==(const Look&, const Look&) = default;
    };
    Look look() const;

    // The whole pill's opacity while it is held down.
    static constexpr qreal pressedOpacity = 0.7;
};

// A capsule button with a text label in a NotchPillStyle, optionally led by a symbol, and able to
// show a small spinner before its text while an action runs (a confirm button's "Deleting…"). Its
// text is its accessible name. Like IconButton it takes no keyboard focus.
class PillButton : public QAbstractButton {
    Q_OBJECT

public:
    explicit PillButton(const QString& text, NotchPillStyle style = {}, QWidget* parent = nullptr);
    PillButton(const QString& text, NotchPillStyle style, std::function<void()> action,
               QWidget* parent = nullptr);

    NotchPillStyle pillStyle() const { return m_style; }
    void setPillStyle(NotchPillStyle style);

    // A symbol before the text, at the size it has beside text of `fontSize` pixels; an empty name
    // removes it.
    void setSymbol(const QString& symbol, qreal fontSize, QFont::Weight weight = QFont::Normal);
    QString symbol() const { return m_symbol; }
    // The gap between the symbol or spinner and the text (4 unless set).
    void setSpacing(qreal spacing);

    // Shows a turning spinner before the text (the text itself is set by the caller).
    void setBusy(bool busy);
    bool isBusy() const { return m_busy; }

    // Dims the whole pill (Cancel while a delete runs), on top of the pressed dimming.
    void setContentOpacity(qreal opacity);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QFont labelFont() const;
    QSizeF leadingSize() const;
    void updateSpinner();

    NotchPillStyle m_style;
    QString m_symbol;
    qreal m_symbolFontSize = 0;
    QFont::Weight m_symbolWeight = QFont::Normal;
    qreal m_spacing = 4;
    bool m_busy = false;
    qreal m_opacity = 1;
    qreal m_spinnerAngle = 0;
    QVariantAnimation* m_spinner = nullptr;
};
