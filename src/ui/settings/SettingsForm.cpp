#include "ui/settings/SettingsForm.h"

#include "ui/controls/ActivitySpinner.h"

#include <QApplication>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QSvgRenderer>
#include <QWheelEvent>

#include <cmath>

SettingsPage::SettingsPage(QWidget* parent)
    : QScrollArea(parent) {
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The page is a container, not a stop of its own on the way through the controls.
    setFocusPolicy(Qt::NoFocus);
    auto* content = new QWidget;
    content->setAutoFillBackground(false);
    m_sections = new QVBoxLayout(content);
    m_sections->setContentsMargins(16, 12, 16, 16);
    m_sections->setSpacing(14);
    m_sections->addStretch(1);
    setWidget(content);
    viewport()->setAutoFillBackground(false);
}

FormSection* SettingsPage::addSection(const QString& title) {
    auto* section = new FormSection(title, widget());
    m_sections->insertWidget(m_sections->count() - 1, section);
    return section;
}

QLabel* SettingsPage::addNote(const QString& text) {
    QLabel* note = SettingsStyle::caption(text, widget());
    // In line with the text inside the sections' frames.
    note->setContentsMargins(style()->pixelMetric(QStyle::PM_LayoutLeftMargin) + 2, 0,
                             style()->pixelMetric(QStyle::PM_LayoutRightMargin) + 2, 0);
    m_sections->insertWidget(m_sections->count() - 1, note);
    return note;
}

void SettingsPage::alignLabels() {
    int widest = 0;
    QList<QWidget*> labels;
    for (const FormSection* section : widget()->findChildren<FormSection*>()) {
        for (int row = 0; row < section->form()->rowCount(); ++row) {
            if (QLayoutItem* item = section->form()->itemAt(row, QFormLayout::LabelRole);
                item && item->widget()) {
                labels << item->widget();
                widest = std::max(widest, item->widget()->sizeHint().width());
            }
        }
    }
    for (QWidget* label : labels)
        label->setMinimumWidth(widest);
}

FormSection::FormSection(const QString& title, QWidget* parent)
    : QGroupBox(title, parent)
    , m_form(new QFormLayout(this)) {
    m_form->setRowWrapPolicy(QFormLayout::DontWrapRows);
    m_form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    m_form->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_form->setVerticalSpacing(8);
}

void FormSection::addRow(QWidget* widget) {
    m_form->addRow(widget);
}

void FormSection::addRow(QLayout* layout) {
    m_form->addRow(layout);
}

QLabel* FormSection::addRow(const QString& label, QWidget* field) {
    auto* name = new QLabel(label, this);
    name->setBuddy(field);
    if (field->accessibleName().isEmpty())
        field->setAccessibleName(QString(label).remove(QLatin1Char('&')));
    m_form->addRow(name, field);
    return name;
}

QLabel* FormSection::addCaption(const QString& text) {
    QLabel* label = SettingsStyle::caption(text, this);
    m_form->addRow(label);
    return label;
}

namespace SettingsStyle {

QFont scaledFont(qreal factor, QFont::Weight weight) {
    QFont font = QApplication::font();
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * factor);
    else
        font.setPixelSize(int(std::lround(font.pixelSize() * factor)));
    font.setWeight(weight);
    return font;
}

QLabel* caption(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setFont(scaledFont(0.9));
    setTone(label, Tone::secondary);
    return label;
}

QColor toneColor(const QPalette& palette, Tone tone) {
    const QColor text = palette.color(QPalette::Active, QPalette::WindowText);
    const bool dark = palette.color(QPalette::Window).lightnessF() < 0.5;
    QColor color = text;
    switch (tone) {
    case Tone::secondary:
        color.setAlphaF(0.68);
        break;
    case Tone::tertiary:
        color.setAlphaF(0.5);
        break;
    case Tone::warning:
        // Orange that stays readable on the window's background, light or dark.
        color = dark ? QColor(0xff, 0xa5, 0x3d) : QColor(0xb3, 0x5c, 0x00);
        break;
    case Tone::error:
        color = dark ? QColor(0xff, 0x6b, 0x60) : QColor(0xc0, 0x1c, 0x28);
        break;
    }
    return color;
}

void setTone(QWidget* widget, Tone tone) {
    QPalette palette = widget->palette();
    const QColor color = toneColor(QApplication::palette(), tone);
    palette.setColor(QPalette::Active, QPalette::WindowText, color);
    palette.setColor(QPalette::Inactive, QPalette::WindowText, color);
    widget->setPalette(palette);
}

QIcon symbol(const QString& name, const QColor& color) {
    QSvgRenderer renderer(QStringLiteral(":/vorrindel/symbols/") + name + QStringLiteral(".svg"));
    QIcon icon;
    if (!renderer.isValid())
        return icon;
    for (int side : {16, 20, 24, 32, 40, 48, 64}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, side, side));
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(pixmap.rect(), color);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QIcon themedSymbol(const QString& themeName, const QString& name, const QColor& color) {
    const QIcon themed = QIcon::fromTheme(themeName);
    return themed.isNull() ? symbol(name, color) : themed;
}

QIcon colorDot(const QColor& color) {
    QIcon icon;
    for (int scale : {1, 2, 3}) {
        QPixmap pixmap(10 * scale, 10 * scale);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawEllipse(QRectF(pixmap.rect()).adjusted(0.5, 0.5, -0.5, -0.5));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

ActivitySpinner* spinner(QWidget* parent) {
    auto* spinner = new ActivitySpinner(16, parent);
    spinner->setColor(QApplication::palette().color(QPalette::WindowText));
    return spinner;
}

} // namespace SettingsStyle

WarningLine::WarningLine(QWidget* parent)
    : QWidget(parent)
    , m_icon(new QLabel(this))
    , m_text(SettingsStyle::caption(QString(), this)) {
    using namespace SettingsStyle;
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    const QColor orange = toneColor(QApplication::palette(), Tone::warning);
    const int side = QFontMetrics(m_text->font()).height();
    m_icon->setPixmap(
        symbol(QStringLiteral("warning"), orange).pixmap(QSize(side, side), devicePixelRatioF()));
    m_icon->setAlignment(Qt::AlignTop);
    setTone(m_text, Tone::warning);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    row->addWidget(m_icon, 0, Qt::AlignTop);
    row->addWidget(m_text, 1);
    hide();
}

void WarningLine::setMessage(const std::optional<QString>& message) {
    m_text->setText(message.value_or(QString()));
    setAccessibleName(message.value_or(QString()));
    setVisible(message.has_value());
    fitText();
}

QString WarningLine::message() const {
    return m_text->text();
}

void WarningLine::setAlignment(Qt::Alignment alignment) {
    m_text->setAlignment(alignment);
    auto* row = static_cast<QHBoxLayout*>(layout());
    if ((alignment & Qt::AlignHCenter) && !m_centred) {
        m_centred = true;
        row->setStretch(1, 0);
        row->insertStretch(0, 1);
        row->addStretch(1);
        fitText();
    }
}

void WarningLine::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fitText();
}

void WarningLine::fitText() {
    // Between stretches a wrapped label would take its own idea of a pleasing width and break a
    // short message in two; it gets the width of its text instead, up to the room there is.
    if (!m_centred)
        return;
    const int room = width() - m_icon->sizeHint().width() - layout()->spacing();
    const int text = m_text->fontMetrics().horizontalAdvance(m_text->text()) + 2;
    m_text->setMinimumWidth(std::max(0, std::min(text, room)));
}

PickerBox::PickerBox(QWidget* parent)
    : QComboBox(parent) {
    setFocusPolicy(Qt::StrongFocus);
}

void PickerBox::wheelEvent(QWheelEvent* event) {
    // Left to the page behind it, which scrolls.
    event->ignore();
}

namespace Picker {

void setOptions(QComboBox* picker, const QList<PickerOption>& options) {
    bool same = picker->count() == options.size();
    for (int i = 0; same && i < options.size(); ++i)
        same = picker->itemText(i) == options[i].text && picker->itemData(i) == options[i].value;
    if (same)
        return;
    const QSignalBlocker quiet(picker);
    picker->clear();
    for (const PickerOption& option : options)
        picker->addItem(option.text, option.value);
}

int indexOf(const QList<PickerOption>& options, const QVariant& value) {
    for (int i = 0; i < options.size(); ++i) {
        if (options[i].value == value)
            return i;
    }
    return -1;
}

void showValue(QComboBox* picker, const QVariant& value) {
    const QSignalBlocker quiet(picker);
    picker->setCurrentIndex(picker->findData(value));
}

} // namespace Picker
