#include "platform/ScreenSource.h"

#include <QGuiApplication>
#include <QScreen>

QtScreenSource::QtScreenSource(QObject* parent)
    : ScreenSource(parent) {
    connect(qGuiApp, &QGuiApplication::screenAdded, this, [this](QScreen* screen) {
        watch(screen);
        emit changed();
    });
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, &ScreenSource::changed);
    connect(qGuiApp, &QGuiApplication::primaryScreenChanged, this, &ScreenSource::changed);
    const QList<QScreen*> all = QGuiApplication::screens();
    for (QScreen* screen : all)
        watch(screen);
}

void QtScreenSource::watch(QScreen* screen) {
    connect(screen, &QScreen::geometryChanged, this, &ScreenSource::changed);
    connect(screen, &QScreen::availableGeometryChanged, this, &ScreenSource::changed);
}

QList<ScreenInfo> QtScreenSource::screens() const {
    return screensWith([](const QScreen& screen) { return QRectF(screen.geometry()); });
}

QList<ScreenInfo> QtScreenSource::screensWith(const std::function<QRectF(const QScreen&)>& frameOf) const {
    QList<ScreenInfo> list;
    const QList<QScreen*> all = QGuiApplication::screens();
    for (const QScreen* screen : all) {
        const QRectF frame = frameOf(*screen);
        const QPointF moved = frame.topLeft() - QPointF(screen->geometry().topLeft());
        list.append({frame, QRectF(screen->availableGeometry()).translated(moved)});
    }
    return list;
}

int QtScreenSource::primaryIndex() const {
    return int(QGuiApplication::screens().indexOf(QGuiApplication::primaryScreen()));
}
