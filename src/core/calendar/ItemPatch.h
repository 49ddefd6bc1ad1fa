#pragma once

#include <QByteArray>
#include <QList>
#include <QSet>

#include <optional>
#include <utility>
#include <vector>

// An item's text as content lines, changed line by line. Whatever an edit does not touch stays byte
// for byte as the program that wrote it left it: folding, escapes, lists of values and parameters, the
// order of a rule's parts, and components and properties that libical does not know and would drop if
// it wrote the item back whole. New lines are folded at 75 octets and take the item's own line ending.
//
// Lines go in and come out unfolded and without their line ending. Names compare case-insensitively.
class ItemPatch {
public:
    // Names one component for as long as it is in the text, whatever is added or removed around it.
    using Component = quint64;

    // Absent when the text holds no VCALENDAR, or its BEGIN and END lines do not nest.
    static std::optional<ItemPatch> read(const QByteArray& text);

    QByteArray text() const;

    // The components directly inside the first VCALENDAR, in text order; only those of the given
    // kind ("VEVENT") unless it is empty.
    QList<Component> components(const QByteArray& kind = {}) const;
    // Its kind, upper case ("VTIMEZONE").
    QByteArray kind(Component component) const;
    // The component's lines from its BEGIN to its END, as they stand.
    QByteArray text(Component component) const;

    // The following work on the component's own properties, not those of components inside it.

    // The value of the first property of that name, as written (escapes kept); absent when none.
    std::optional<QByteArray> value(Component component, const QByteArray& name) const;
    // Every property of that name, in text order, as its name with its parameters and its value,
    // both as written.
    QList<std::pair<QByteArray, QByteArray>> properties(Component component, const QByteArray& name) const;
    // Puts the line in place of the first property of its name and removes the others of that name.
    // Without one, the line goes after the first property named `after`, else after the last property.
    void set(Component component, const QByteArray& line, const QByteArray& after = {});
    // As set(), except that a property already there keeps its name and parameters as written (a
    // title's LANGUAGE, say): only the value is taken from the line.
    void setValue(Component component, const QByteArray& line);
    // Adds the line after the last property of its name, else after the last property.
    void add(Component component, const QByteArray& line);
    void removeProperties(Component component, const QByteArray& name);

    // Adds a copy of the component, without its properties of those names (upper case), as the
    // calendar's last component.
    Component copy(Component component, const QSet<QByteArray>& without);
    // Adds a component, given as the text of its lines, before the calendar's first component.
    void prepend(const QByteArray& componentText);
    void remove(Component component);

    // Whether anything but blank lines lies before or after the first VCALENDAR (a second object).
    bool hasTextOutsideCalendar() const;

private:
    struct Line {
        Component id = 0;
        QByteArray raw;     // as in the text: folded, with its line ending
        QByteArray logical; // unfolded, without the line ending
    };

    ItemPatch() = default;

    static QList<QByteArray> logicalLines(const QByteArray& text);
    Line makeLine(const QByteArray& logical);
    qsizetype indexOf(Component component) const;
    qsizetype endOf(qsizetype begin) const;
    std::pair<qsizetype, qsizetype> calendar() const;
    QList<qsizetype> ownProperties(Component component, const QByteArray& name = {}) const;
    void insert(qsizetype at, const QList<QByteArray>& logical);

    std::vector<Line> m_lines;
    QByteArray m_eol = "\r\n";
    Component m_nextId = 1;
};
