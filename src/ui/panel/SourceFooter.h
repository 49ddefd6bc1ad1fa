#pragma once

#include "ui/panel/TextLine.h"

#include <QColor>
#include <QDateTime>
#include <QString>
#include <QWidget>

#include <optional>

class AppSettings;
class Cal;
class EventStore;

// The small status pill at the bottom of the day list. It says one thing, the most pressing first:
// the store's toast ("Added to Work"), else a Google error, else a Notion error, else when the
// connected sources last synced ("Synced · Google 2 min. ago"); with nothing to say it is hidden.
// It places itself at the bottom centre of its parent and lets clicks through to the rows under it.
class SourceFooter : public QWidget {
    Q_OBJECT
public:
    struct Message {
        QString symbol;
        QString text;
        QColor tint;
        friend bool operator==(const Message&, const Message&) = default;
    };

    // "Synced · " and the connected sources that have synced, Google first, each with how long ago
    // in the calendar's locale; none when no connected source has synced.
    static std::optional<QString> syncedText(bool hasGoogle, const std::optional<QDateTime>& googleLastSync,
                                             bool hasNotion, const std::optional<QDateTime>& notionLastSync,
                                             const QDateTime& now, const Cal& cal);
    // The message to show, first match wins: toast, Google error, Notion error, sync summary.
    static std::optional<Message> message(const std::optional<QString>& toast,
                                          const std::optional<QString>& googleError,
                                          const std::optional<QString>& notionError,
                                          const std::optional<QString>& synced);

    SourceFooter(EventStore& store, AppSettings& settings, QWidget* parent);

    const std::optional<Message>& shown() const { return m_message; }
    // Whether the pill cuts its text to fit its parent.
    bool isElided() const { return m_text.isElided(); }
    // Back to the bottom centre of the parent (the parent calls it when it is resized).
    void reposition();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();

    EventStore& m_store;
    AppSettings& m_settings;
    std::optional<Message> m_message;
    TextLine m_text;
};
