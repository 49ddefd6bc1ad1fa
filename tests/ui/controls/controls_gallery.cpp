#include "core/model/CalEvent.h"
#include "ui/controls/ActivitySpinner.h"
#include "ui/controls/ElidedText.h"
#include "ui/controls/FlowLayout.h"
#include "ui/controls/IconButton.h"
#include "ui/controls/JoinButton.h"
#include "ui/controls/MaybeScroll.h"
#include "ui/controls/Motion.h"
#include "ui/controls/PillButton.h"
#include "ui/controls/Symbol.h"
#include "ui/controls/Theme.h"

#include <QApplication>
#include <QDir>
#include <QEnterEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>
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

QLabel* caption(const QString& text) {
    auto* label = new QLabel(text);
    label->setFont(Theme::uiFont(9.5));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Theme::white(0.4));
    label->setPalette(palette);
    return label;
}

void hover(QWidget* widget) {
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QApplication::sendEvent(widget, &enter);
}

QWidget* row(const QList<QWidget*>& widgets, int spacing = 8) {
    auto* box = new QWidget;
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    for (QWidget* w : widgets)
        layout->addWidget(w, 0, Qt::AlignVCenter);
    layout->addStretch();
    return box;
}

CalEvent meeting() {
    CalEvent e;
    e.id = QStringLiteral("gallery:1");
    e.title = QStringLiteral("Design review");
    e.url = QUrl(QStringLiteral("https://us02web.zoom.us/j/123456789"));
    e.calendarName = QStringLiteral("Work");
    return e;
}

QWidget* controlsPage() {
    auto* page = new QWidget;
    page->setAutoFillBackground(true);
    QPalette palette = page->palette();
    palette.setColor(QPalette::Window, Qt::black);
    page->setPalette(palette);
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(20, 16, 20, 16);
    column->setSpacing(10);

    column->addWidget(caption(
        QStringLiteral("IconButton: normal, hover, active, active + hover, spinning (still), dimmed")));
    auto* normal = new IconButton(QStringLiteral("xmark"), QStringLiteral("Dismiss"));
    auto* hovered = new IconButton(QStringLiteral("plus"), QStringLiteral("New event"));
    hover(hovered);
    auto* active = new IconButton(QStringLiteral("pin.fill"), QStringLiteral("Unpin"));
    active->setActive(true);
    auto* activeHover = new IconButton(QStringLiteral("plus"), QStringLiteral("New event"));
    activeHover->setActive(true);
    hover(activeHover);
    auto* spinning = new IconButton(QStringLiteral("arrow.clockwise"), QStringLiteral("Refresh"));
    spinning->setSpinning(true);
    auto* dimmed = new IconButton(QStringLiteral("chevron.left"), QStringLiteral("Back"));
    dimmed->setContentOpacity(0.4);
    column->addWidget(row({normal, hovered, active, activeHover, spinning, dimmed}));

    column->addWidget(caption(QStringLiteral("The header and detail symbols")));
    QList<QWidget*> header;
    for (const char* name : {"pin", "gearshape", "chevron.left", "chevron.right", "pencil", "trash",
                             "person.crop.circle.badge.xmark", "nonexistent.symbol"})
        header.append(new IconButton(QString::fromLatin1(name), QString::fromLatin1(name)));
    column->addWidget(row(header, 5));

    column->addWidget(
        caption(QStringLiteral("Pills: plain, prominent, danger, prominent + danger; compact below")));
    for (bool compact : {false, true}) {
        column->addWidget(row({new PillButton(QStringLiteral("Today"), {false, compact, false}),
                               new PillButton(QStringLiteral("Grant access"), {true, compact, false}),
                               new PillButton(QStringLiteral("Delete"), {false, compact, true}),
                               new PillButton(QStringLiteral("Remove"), {true, compact, true})}));
    }
    auto* pressed = new PillButton(QStringLiteral("Pressed"), {true, false, false});
    pressed->setDown(true);
    auto* busy = new PillButton(QStringLiteral("Deleting…"), {false, false, true});
    busy->setSpacing(6);
    busy->setBusy(true);
    auto* cancel = new PillButton(QStringLiteral("Cancel"));
    cancel->setContentOpacity(0.5);
    auto* joinDetail = new PillButton(QStringLiteral("Join Zoom"), {true, false, false});
    joinDetail->setSymbol(QStringLiteral("video.fill"), 10.5);
    column->addWidget(row({pressed, cancel, busy, joinDetail}));

    column->addWidget(caption(QStringLiteral("JoinButton: normal and compact; a header row; spinners")));
    auto* spinner = new ActivitySpinner(16);
    auto* mini = new ActivitySpinner(11);
    column->addWidget(row({new JoinButton(meeting(), false, JoinButton::JoinAction{}),
                           new JoinButton(meeting(), true, JoinButton::JoinAction{}), spinner, mini}));
    auto* today = new PillButton(QStringLiteral("Today"));
    column->addWidget(row({today, new IconButton(QStringLiteral("plus"), QStringLiteral("New event")),
                           new IconButton(QStringLiteral("arrow.clockwise"), QStringLiteral("Refresh")),
                           new IconButton(QStringLiteral("pin"), QStringLiteral("Keep open")),
                           new IconButton(QStringLiteral("gearshape"), QStringLiteral("Settings"))},
                          5));

    column->addWidget(
        caption(QStringLiteral("ElidedText: one line, two lines, notes of twelve lines (selected)")));
    const QString longTitle = QStringLiteral(
        "Quarterly planning with the platform, design and research teams (all hands, bring laptops)");
    auto* one = new ElidedText(longTitle, Theme::uiFont(13, QFont::Medium), Theme::white());
    one->setFixedWidth(300);
    column->addWidget(row({one}));
    auto* two = new ElidedText(longTitle + longTitle, Theme::uiFont(16, QFont::DemiBold), Theme::white(), 2);
    two->setFixedWidth(380);
    column->addWidget(row({two}));
    QString notes;
    for (int i = 1; i <= 14; ++i)
        notes +=
            QStringLiteral("Line %1 of the agenda: https://example.com/a/very/long/link/without/spaces/%1\n")
                .arg(i);
    auto* notesText = new ElidedText(notes, Theme::uiFont(11.5), Theme::white(0.75), 12);
    notesText->setSelectable(true);
    notesText->setFixedWidth(420);
    column->addWidget(row({notesText}));

    column->addWidget(caption(QStringLiteral("FlowLayout (spacing 5) of attendee chips in 360 px")));
    auto* chips = new QWidget;
    chips->setFixedWidth(360);
    auto* flow = new FlowLayout(5, chips);
    for (const char* name : {"You", "ondrea", "Marek Lindqvist", "j.hallgrimsdottir", "Oskel", "Priya",
                             "team-leads", "Anneliese Vandermeer-Okafor", "+3 more"})
        flow->addWidget(new PillButton(QString::fromLatin1(name), {false, true, false}));
    column->addWidget(chips);
    column->addStretch();
    return page;
}

void renderPage(QWidget* page, QSize size, const QString& folder, const QString& name, qreal scale) {
    page->resize(size);
    page->setAttribute(Qt::WA_DontShowOnScreen);
    page->show();
    QCoreApplication::processEvents();
    QImage image(size * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::black);
    page->render(&image);
    save(image, folder, name);
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
    QWidget* page = controlsPage();
    renderPage(page, QSize(620, 780), folder, QStringLiteral("controls@2x.png"), 2);
    renderPage(page, QSize(620, 780), folder, QStringLiteral("controls@1x.png"), 1);
    delete page;
    return 0;
}
