#pragma once

#include <QColor>
#include <QWidget>

class QPainter;

// The mark that stands for a Google account or calendar wherever the app shows one: the settings
// window's Google tab (sizes 56 and 18), the quick-add view and the panel's Google card (14 to 20).
// It is the app's own artwork, a calendar page with a blue header, drawn crisply at any size and
// scale from the resource resource(). When that cannot be loaded, a plain calendar symbol in the
// fallback colour takes its place at the same size; nothing is reported.
//
// Widgets place a GoogleCalendarMark, which is exactly size × size; views that paint themselves call
// paint() with their own painter.
class GoogleCalendarMark : public QWidget {
    Q_OBJECT
public:
    explicit GoogleCalendarMark(qreal size, QWidget* parent = nullptr);

    qreal markSize() const { return m_size; }
    void setMarkSize(qreal size);
    QSize sizeHint() const override;

    // Draws the mark centred in `rect`, as a square of its shorter side. The fallback symbol is drawn
    // in `fallbackColor` (the text colour of the surface it sits on).
    static void paint(QPainter& painter, const QRectF& rect, const QColor& fallbackColor);

    // ":/vorrindel/google-calendar.svg"; tests point it elsewhere to see the fallback.
    static QString resource();
    static void setResourceForTesting(const QString& path);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    qreal m_size;
};
