#pragma once

#include <QWidget>

class QScrollArea;

// A horizontal scroller without scroll bars around one row (the guest chips): the wheel, either
// way, and the touchpad move it sideways, and an edge with more of the row beyond it fades out into
// the panel's black. In the snapshot mode it is a plain frame that cuts the row off at its right
// edge (fading out there when the row is longer), so that pictures never depend on a scroll position.
class MaybeHScroll : public QWidget {
    Q_OBJECT

public:
    // Takes the row over. The form is fixed at creation from ProcessArguments::isSnapshotMode().
    explicit MaybeHScroll(QWidget* content, QWidget* parent = nullptr);

    QWidget* content() const { return m_content; }
    bool isStatic() const { return m_scroll == nullptr; }
    // Scrolls the least needed to show `child`, a widget of the row, once the row is laid out.
    void ensureVisible(QWidget* child);
    // The same at once, for a row already laid out.
    void scrollToShow(QWidget* child);
    int scrollPosition() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateFades();
    void placeStaticRow();

    QWidget* m_content;
    QScrollArea* m_scroll = nullptr;
    QWidget* m_fades = nullptr;
};
