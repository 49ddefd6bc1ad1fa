#pragma once

#include "core/store/PeekInfo.h"
#include "ui/panel/TextLine.h"

#include <QWidget>

#include <optional>

class EventStore;
class JoinButton;
class NotchState;

// The peek: two wings beside the notch. The left one holds the next event's calendar colour and
// title, the right one its countdown ("in 8 min", green with a dot while the meeting runs) and a
// compact Join button when it has a meeting link. The notch itself stays empty between them.
//
// It follows the store's peek in place. When the peek goes, it keeps showing the last one while the
// root view fades it out.
class PeekView : public QWidget {
    Q_OBJECT
public:
    static constexpr qreal wingWidth = 156;
    static constexpr qreal wingPadding = 22;

    PeekView(EventStore& store, NotchState& state, QWidget* parent = nullptr);

    // The peek drawn, or none before the first one.
    const std::optional<PeekInfo>& peek() const { return m_peek; }
    JoinButton* joinButton() const { return m_join; }

    // The peek's own state of its countdown: its meeting runs from its start on.
    static bool isRunning(const PeekInfo& peek) { return peek.minutesUntilStart <= 0; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void refresh();
    void place();

    EventStore& m_store;
    NotchState& m_state;
    std::optional<PeekInfo> m_peek;
    TextLine m_title;
    TextLine m_trailing;
    qreal m_trailingRight = 0; // where the countdown ends: before Join, else at the wing's padding
    JoinButton* m_join;
};
