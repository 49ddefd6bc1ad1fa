#pragma once

#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QWidget>

// Pictures of the states the view tests reach, to be looked at: with VORRINDEL_SHOTS naming a folder,
// each call writes <VORRINDEL_SHOTS>/<name>.png; without it, nothing happens.
namespace Shots {

inline void save(const QImage& image, const QString& name) {
    const QString folder = qEnvironmentVariable("VORRINDEL_SHOTS");
    if (folder.isEmpty())
        return;
    QDir().mkpath(folder);
    image.save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}

// The widget at scale 2 on `background` (its window colour when invalid), as it would be drawn.
inline void save(QWidget* widget, const QString& name, QColor background = QColor()) {
    if (qEnvironmentVariableIsEmpty("VORRINDEL_SHOTS"))
        return;
    // Layouts settle on the event loop; the window would be drawn after they did.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QImage image(widget->size() * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(background.isValid() ? background : widget->palette().color(QPalette::Window));
    QPainter painter(&image);
    // A top-level widget fills its own window colour first unless told not to.
    const QWidget::RenderFlags flags = background.isValid()
                                           ? QWidget::RenderFlags(QWidget::DrawChildren)
                                           : QWidget::DrawWindowBackground | QWidget::DrawChildren;
    widget->render(&painter, QPoint(), QRegion(), flags);
    painter.end();
    save(image, name);
}

} // namespace Shots
