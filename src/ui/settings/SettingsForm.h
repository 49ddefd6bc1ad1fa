#pragma once

#include <QComboBox>
#include <QGroupBox>
#include <QHash>
#include <QIcon>
#include <QLabel>
#include <QList>
#include <QScrollArea>
#include <QString>
#include <QStringList>
#include <QVBoxLayout>
#include <QVariant>

#include <optional>

class ActivitySpinner;
class QFormLayout;
class QTimer;

// The building blocks of the settings window's tabs, in the desktop's own widget style: pages of
// titled sections, captions, the orange warning line, pickers that carry their values, and lists of rows that
// a publish updates in place, keyed by id, so that focus and hover survive it.

// One row of a picker: the text it shows and the value it stores.
struct PickerOption {
    QString text;
    QVariant value;
    friend bool operator==(const PickerOption&, const PickerOption&) = default;
};

class FormSection;

// One tab's content: sections from top to bottom, scrolling vertically when they are taller than the
// window. Its width always follows the window, so nothing is cut at the side.
class SettingsPage : public QScrollArea {
    Q_OBJECT
public:
    explicit SettingsPage(QWidget* parent = nullptr);

    // A new section after the others; one without a title draws its group without a heading.
    FormSection* addSection(const QString& title = QString());
    // A note between or after the sections: a caption of its own, without a frame.
    QLabel* addNote(const QString& text);
    // Gives the labels of every section one column width, so that fields line up down the page.
    void alignLabels();

private:
    QVBoxLayout* m_sections;
};

// A group of rows: a control across the full width, or a label with its field.
class FormSection : public QGroupBox {
    Q_OBJECT
public:
    explicit FormSection(const QString& title, QWidget* parent = nullptr);

    QFormLayout* form() const { return m_form; }
    void addRow(QWidget* widget);
    void addRow(QLayout* layout);
    // The label names its field, for mnemonics and assistive technology alike.
    QLabel* addRow(const QString& label, QWidget* field);
    QLabel* addCaption(const QString& text);

private:
    QFormLayout* m_form;
};

namespace SettingsStyle {

// Explanatory text under or between controls: wrapped, a little smaller, in the secondary colour.
QLabel* caption(const QString& text, QWidget* parent = nullptr);
enum class Tone { secondary, tertiary, warning, error };
void setTone(QWidget* widget, Tone tone);
QColor toneColor(const QPalette& palette, Tone tone);
// The application's font scaled, and optionally weighted.
QFont scaledFont(qreal factor, QFont::Weight weight = QFont::Normal);

// One of the settings window's own symbols (":/vorrindel/symbols/<name>.svg") in one colour.
QIcon symbol(const QString& name, const QColor& color);
// The desktop icon theme's icon of that name when it has one, else our own symbol.
QIcon themedSymbol(const QString& themeName, const QString& name, const QColor& color);
// A filled circle of 10 × 10, the colour key of a calendar.
QIcon colorDot(const QColor& color);
// The small spinner of work under way, in the window's text colour.
ActivitySpinner* spinner(QWidget* parent);

} // namespace SettingsStyle

// A line of orange text with a warning sign, for errors that the window reports; hidden while there
// is nothing to say.
class WarningLine : public QWidget {
    Q_OBJECT
public:
    explicit WarningLine(QWidget* parent = nullptr);
    void setMessage(const std::optional<QString>& message);
    QString message() const;
    // Centred, the line wraps only when its text is wider than the space it has.
    void setAlignment(Qt::Alignment alignment);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitText();

    QLabel* m_icon;
    QLabel* m_text;
    bool m_centred = false;
};

// The settings window's drop-down picker. It changes on a click or on the keyboard only: a wheel
// turn over it scrolls the page, so that scrolling past it never rewrites a setting, and the wheel
// never takes the keyboard's focus to it.
class PickerBox : public QComboBox {
    Q_OBJECT
public:
    explicit PickerBox(QWidget* parent = nullptr);

protected:
    void wheelEvent(QWheelEvent* event) override;
};

namespace Picker {

// Puts these rows into the picker, unless it holds exactly these already (a rebuild would close an
// open popup and lose the keyboard's place).
void setOptions(QComboBox* picker, const QList<PickerOption>& options);
// Shows the row that stores `value`; a value that no row stores shows no row.
void showValue(QComboBox* picker, const QVariant& value);
// The index of the row storing `value`, or -1.
int indexOf(const QList<PickerOption>& options, const QVariant& value);

} // namespace Picker

// Rows of one kind in a vertical layout, keyed by an id, that follow a changing list without being
// rebuilt: a row whose id stays is kept and updated, new ids get new rows, rows of ids that went are
// removed (later, as their own button may be the one that removed them). Repeated ids after the
// first are left out.
template <typename Row> class KeyedRows {
public:
    explicit KeyedRows(QVBoxLayout* layout)
        : m_layout(layout) {}

    template <typename Create, typename Update>
    void sync(const QStringList& keys, Create create, Update update) {
        QHash<QString, Row*> kept;
        int position = 0;
        for (const QString& key : keys) {
            if (kept.contains(key))
                continue;
            Row* row = m_rows.take(key);
            if (!row)
                row = create(key);
            update(row, key);
            if (m_layout->indexOf(row) != position) {
                m_layout->removeWidget(row);
                m_layout->insertWidget(position, row);
            }
            kept.insert(key, row);
            ++position;
        }
        for (Row* gone : std::as_const(m_rows)) {
            m_layout->removeWidget(gone);
            gone->hide();
            gone->deleteLater();
        }
        m_rows = kept;
    }

    Row* row(const QString& key) const { return m_rows.value(key); }
    qsizetype size() const { return m_rows.size(); }

private:
    QVBoxLayout* m_layout;
    QHash<QString, Row*> m_rows;
};
