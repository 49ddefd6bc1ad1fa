#pragma once

#include <QAbstractButton>
#include <QString>

#include <functional>

class QVariantAnimation;

// The panel's small symbol button: a 24 × 22 rounded square (radius 6) with a symbol in it, used in
// the header, the week strip, the alert banner, the detail view and quick add. It brightens while
// the pointer is over it, shows a toggled-on state while `active`, and turns its symbol clockwise
// once every 0.8 s while `spinning` (the refresh button during a sync), also when it was created
// spinning. With animations off it never turns. `help` is both its tooltip and its accessible name.
//
// It takes no keyboard focus, so clicking it never takes the keyboard from a text field.
class IconButton : public QAbstractButton {
    Q_OBJECT
    Q_PROPERTY(bool spinning READ isSpinning WRITE setSpinning)
    Q_PROPERTY(bool active READ isActive WRITE setActive)

public:
    static constexpr QSize buttonSize{24, 22};
    static constexpr qreal radius = 6;
    static constexpr qreal symbolSize = 11;
    static constexpr int turnMs = 800;

    // The white opacities of the background and the symbol in a state. Active wins over hover.
    struct Look {
        qreal background;
        qreal symbol;
        friend bool operator==(const Look&, const Look&) = default;
    };
    static Look look(bool active, bool hovering);

    IconButton(const QString& symbol, const QString& help, QWidget* parent = nullptr);
    IconButton(const QString& symbol, const QString& help, std::function<void()> action,
               QWidget* parent = nullptr);
    ~IconButton() override;

    QString symbol() const { return m_symbol; }
    void setSymbol(const QString& symbol);
    QString help() const { return m_help; }
    void setHelp(const QString& help);
    bool isSpinning() const { return m_spinning; }
    void setSpinning(bool spinning);
    bool isActive() const { return m_active; }
    void setActive(bool active);
    bool isHovering() const { return m_hovering; }
    // The symbol's rotation in degrees, 0 at rest.
    qreal angle() const { return m_angle; }
    // Dims the whole button (the detail view's Back button while a delete runs).
    void setContentOpacity(qreal opacity);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void setHovering(bool hovering);
    void startTurning();
    void stopTurning();
    void setAngle(qreal angle);

    QString m_symbol;
    QString m_help;
    bool m_spinning = false;
    bool m_active = false;
    bool m_hovering = false;
    qreal m_angle = 0;
    qreal m_opacity = 1;
    QVariantAnimation* m_turn = nullptr;   // runs only while spinning, shown and animations are on
    QVariantAnimation* m_settle = nullptr; // finishes the last turn after spinning stops
};
