#include "ui/controls/Motion.h"
#include "ui/controls/Symbol.h"
#include "ui/controls/Theme.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QWidget>

#include <cstdio>

namespace {

QImage canvas(QSize size) {
    QImage image(size * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(Qt::black);
    return image;
}

void save(const QImage& image, const QString& folder, const QString& name) {
    const QString path = QDir(folder).filePath(name);
    image.save(path);
    std::printf("%s\n", qPrintable(path));
}

void symbolSheet(const QString& folder, qreal scale) {
    const QStringList names = Symbol::names();
    const int columns = 3;
    const int rows = int((names.size() + columns - 1) / columns);
    QImage image(QSize(columns * 250, rows * 26 + 10) * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::black);
    QPainter p(&image);
    p.setRenderHint(QPainter::TextAntialiasing);
    for (int i = 0; i < names.size(); ++i) {
        const QPointF origin(10 + (i % columns) * 250, 5 + (i / columns) * 26);
        Symbol::paint(p, names[i], origin + QPointF(8, 12), 11, Theme::white(0.9), QFont::DemiBold);
        Symbol::paint(p, names[i], origin + QPointF(30, 12), 11, Theme::accent());
        p.setFont(Theme::uiFont(10.5));
        p.setPen(Theme::white(0.7));
        p.drawText(QRectF(origin + QPointF(44, 0), QSizeF(200, 24)), Qt::AlignVCenter, names[i]);
    }
    p.end();
    save(image, folder, scale == 2 ? "symbols@2x.png" : "symbols@1x.png");
}

void fontSheet(const QString& folder) {
    QImage image = canvas(QSize(560, 330));
    QPainter p(&image);
    qreal y = 8;
    const struct {
        qreal size;
        QFont::Weight weight;
        const char* label;
    } rows[] = {
        {9.5, QFont::Medium, "9.5 medium"},       {10.5, QFont::Normal, "10.5 regular"},
        {10.5, QFont::DemiBold, "10.5 semibold"}, {11.5, QFont::Medium, "11.5 medium"},
        {12, QFont::DemiBold, "12 semibold"},     {13, QFont::Medium, "13 medium"},
        {13, QFont::DemiBold, "13 semibold"},     {13.5, QFont::Bold, "13.5 bold"},
        {16, QFont::DemiBold, "16 semibold"},     {22, QFont::Light, "22 light"},
    };
    for (const auto& row : rows) {
        const QFont font = Theme::uiFont(row.size, row.weight);
        p.setFont(font);
        p.setPen(Theme::white());
        const qreal h = QFontMetricsF(font).height();
        p.drawText(QPointF(10, y + QFontMetricsF(font).ascent()),
                   QStringLiteral("Standup with Ondrea · in 8 min · 10:30 – 11:00 am · 0123456789"));
        p.setFont(Theme::uiFont(9));
        p.setPen(Theme::white(0.4));
        p.drawText(QPointF(490, y + QFontMetricsF(font).ascent()), QString::fromLatin1(row.label));
        y += h + 8;
    }
    p.end();
    save(image, folder, "fonts.png");
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    Motion::setEnabled(false);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    QDir().mkpath(folder);
    std::printf("font family: %s\n", qPrintable(Theme::fontFamily()));
    symbolSheet(folder, 2);
    symbolSheet(folder, 1);
    fontSheet(folder);
    return 0;
}
