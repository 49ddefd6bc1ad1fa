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
    QList<ScreenInfo> list;
    const QList<QScreen*> all = QGuiApplication::screens();
    for (const QScreen* screen : all)
        list.append({QRectF(screen->geometry()), QRectF(screen->availableGeometry())});
    return list;
}

int QtScreenSource::primaryIndex() const {
    return int(QGuiApplication::screens().indexOf(QGuiApplication::primaryScreen()));
}
