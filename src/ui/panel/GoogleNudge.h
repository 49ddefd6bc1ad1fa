#pragma once

#include "ui/panel/TextLine.h"

#include <QWidget>

class ActivitySpinner;
class AppSettings;
class EventStore;
class IconButton;
class PillButton;

// A one-line card in the agenda that invites the user to connect a Google Calendar account: the
// Google Calendar mark, a title and a line of explanation, "Connect" (a spinner in its place while a
// sign-in runs) and a close button that hides the card for good. Whether it shows is the expanded
// panel's decision; the card itself holds no state.
class GoogleNudge : public QWidget {
    Q_OBJECT
public:
    GoogleNudge(EventStore& store, AppSettings& settings, QWidget* parent = nullptr);

    PillButton* connectButton() const { return m_connect; }
    ActivitySpinner* spinner() const { return m_spinner; }
    IconButton* closeButton() const { return m_close; }
    bool isDescriptionElided() const { return m_description.isElided(); }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void refresh();
    void place();
    QRectF card() const;

    EventStore& m_store;
    AppSettings& m_settings;
    TextLine m_title;
    TextLine m_description;
    PillButton* m_connect;
    ActivitySpinner* m_spinner;
    IconButton* m_close;
};
