#pragma once

#include <QPointer>
#include <QWidget>

#include <optional>

class QScrollArea;

// A vertical scroller without scroll bars around one content widget (the day list, the event
// detail): the wheel and the touchpad scroll it. While the snapshot mode runs it is a plain frame
// instead, so that the pictures show the content laid out from the top: the content then takes the
// frame's width (centred when it has a smaller maximum width) and whatever does not fit is cut off at
// the bottom.
//
// The content is updated in place by its owner; the scroll position stays where the user left it
// (as far as the new content height allows). scrollToChild() brings one child to the top, also when
// asked before the first layout (the day list's scroll to the next event when it first shows).
class MaybeScroll : public QWidget {
    Q_OBJECT

public:
    // Takes the content over. The form is fixed at creation from ProcessArguments::isSnapshotMode().
    explicit MaybeScroll(QWidget* content, QWidget* parent = nullptr);

    QWidget* content() const { return m_content; }
    // True for the snapshot form.
    bool isStatic() const { return m_scroll == nullptr; }

    // Pixels scrolled from the top; always 0 in the snapshot form.
    int scrollPosition() const;
    // Also drops a waiting scrollToChild().
    void setScrollPosition(int position);
    // Scrolls so that `child` (anything inside the content) sits `topMargin` pixels below the top, as
    // far as the content allows, without animation. Before the scroller is laid out and shown the
    // request waits for that; the user's own scrolling cancels a waiting request.
    void scrollToChild(QWidget* child, int topMargin = 0);
    // Scrolls to `position` pixels from the top, as far as the content allows, waiting like
    // scrollToChild() when asked early. For content that places its children itself and builds only
    // those on screen (the day list's rows).
    void scrollTo(int position);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // The content moved under the frame, by the user or by a call above.
    void scrolled(int position);

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void placeStaticContent();
    // Applies the waiting request now and once more after the layouts still queued have run.
    void settlePendingScroll();
    void applyPendingScroll();
    void dropPendingScroll();

    QWidget* m_content;
    QScrollArea* m_scroll = nullptr;
    QPointer<QWidget> m_pendingChild;
    int m_pendingMargin = 0;
    std::optional<int> m_pendingPosition;
};
