#include "core/calendar/ItemPatch.h"

#include <algorithm>

namespace {

// RFC 5545 folds content lines longer than this many octets.
constexpr qsizetype foldAt = 75;

QByteArray withoutLineEnd(QByteArray line) {
    if (line.endsWith('\n'))
        line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

// Where the value starts: after the first colon that is not inside a quoted parameter value.
qsizetype valueStart(const QByteArray& logical) {
    bool quoted = false;
    for (qsizetype i = 0; i < logical.size(); ++i) {
        if (logical[i] == '"')
            quoted = !quoted;
        else if (logical[i] == ':' && !quoted)
            return i + 1;
    }
    return -1;
}

QByteArray nameOf(const QByteArray& logical) {
    qsizetype from = logical.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    qsizetype to = from;
    while (to < logical.size() && logical[to] != ';' && logical[to] != ':')
        ++to;
    return logical.mid(from, to - from).trimmed().toUpper();
}

QByteArray valueOf(const QByteArray& logical) {
    const qsizetype start = valueStart(logical);
    return start < 0 ? QByteArray() : logical.mid(start);
}

// The component kind a BEGIN or END line names, or empty for other lines.
QByteArray boundary(const QByteArray& logical, const char* which) {
    return nameOf(logical) == which ? valueOf(logical).trimmed().toUpper() : QByteArray();
}

QByteArray fold(const QByteArray& logical, const QByteArray& eol) {
    QByteArray out;
    qsizetype pos = 0;
    qsizetype limit = foldAt;
    do {
        qsizetype n = std::min(limit, logical.size() - pos);
        // Never between the bytes of one UTF-8 character.
        while (pos + n < logical.size() && n > 1 && (uchar(logical[pos + n]) & 0xC0) == 0x80)
            --n;
        if (pos > 0)
            out += eol + ' ';
        out += logical.mid(pos, n);
        pos += n;
        limit = foldAt - 1; // the blank that opens a continuation line counts
    } while (pos < logical.size());
    return out + eol;
}

} // namespace

std::optional<ItemPatch> ItemPatch::read(const QByteArray& text) {
    ItemPatch patch;
    if (const qsizetype nl = text.indexOf('\n'); nl >= 0)
        patch.m_eol = nl > 0 && text[nl - 1] == '\r' ? QByteArray("\r\n") : QByteArray("\n");
    qsizetype pos = 0;
    while (pos < text.size()) {
        qsizetype end = text.indexOf('\n', pos);
        end = end < 0 ? text.size() : end + 1;
        const QByteArray physical = text.mid(pos, end - pos);
        pos = end;
        if ((physical.startsWith(' ') || physical.startsWith('\t')) && !patch.m_lines.empty()) {
            Line& line = patch.m_lines.back();
            line.raw += physical;
            line.logical += withoutLineEnd(physical.mid(1));
        } else {
            patch.m_lines.push_back({patch.m_nextId++, physical, withoutLineEnd(physical)});
        }
    }

    // The first calendar object must nest; what lies around it is kept as it is and never looked into.
    const auto first = std::find_if(patch.m_lines.begin(), patch.m_lines.end(), [](const Line& line) {
        return boundary(line.logical, "BEGIN") == "VCALENDAR";
    });
    if (first == patch.m_lines.end())
        return std::nullopt;
    QList<QByteArray> open;
    for (auto it = first; it != patch.m_lines.end(); ++it) {
        if (QByteArray kind = boundary(it->logical, "BEGIN"); !kind.isEmpty()) {
            open.append(kind);
        } else if (QByteArray kind = boundary(it->logical, "END"); !kind.isEmpty()) {
            if (open.isEmpty() || open.takeLast() != kind)
                return std::nullopt;
            if (open.isEmpty())
                return patch;
        }
    }
    return std::nullopt;
}

QByteArray ItemPatch::text() const {
    QByteArray out;
    for (const Line& line : m_lines)
        out += line.raw;
    return out;
}

QByteArray ItemPatch::text(Component component) const {
    const qsizetype begin = indexOf(component);
    QByteArray out;
    for (qsizetype i = begin, end = endOf(begin); i <= end; ++i)
        out += m_lines[i].raw;
    return out;
}

QList<ItemPatch::Component> ItemPatch::components(const QByteArray& kind) const {
    QList<Component> out;
    const auto [begin, end] = calendar();
    for (qsizetype i = begin + 1; i < end; ++i) {
        const QByteArray found = boundary(m_lines[i].logical, "BEGIN");
        if (found.isEmpty())
            continue;
        if (kind.isEmpty() || found == kind.toUpper())
            out.append(m_lines[i].id);
        i = endOf(i);
    }
    return out;
}

QByteArray ItemPatch::kind(Component component) const {
    return boundary(m_lines[indexOf(component)].logical, "BEGIN");
}

bool ItemPatch::hasTextOutsideCalendar() const {
    const auto [begin, end] = calendar();
    for (qsizetype i = 0; i < qsizetype(m_lines.size()); ++i) {
        if ((i < begin || i > end) && !m_lines[i].logical.trimmed().isEmpty())
            return true;
    }
    return false;
}

std::optional<QByteArray> ItemPatch::value(Component component, const QByteArray& name) const {
    const QList<qsizetype> found = ownProperties(component, name);
    if (found.isEmpty())
        return std::nullopt;
    return valueOf(m_lines[found.first()].logical);
}

QList<std::pair<QByteArray, QByteArray>> ItemPatch::properties(Component component,
                                                               const QByteArray& name) const {
    QList<std::pair<QByteArray, QByteArray>> out;
    for (qsizetype i : ownProperties(component, name)) {
        const QByteArray& logical = m_lines[i].logical;
        const qsizetype start = valueStart(logical);
        if (start < 0)
            out.append({logical, {}});
        else
            out.append({logical.left(start - 1), logical.mid(start)});
    }
    return out;
}

void ItemPatch::set(Component component, const QByteArray& line, const QByteArray& after) {
    const QList<qsizetype> found = ownProperties(component, nameOf(line));
    if (!found.isEmpty()) {
        m_lines[found.first()] = makeLine(line);
        for (qsizetype j = found.size() - 1; j > 0; --j)
            m_lines.erase(m_lines.begin() + found[j]);
        return;
    }
    const QList<qsizetype> anchor = after.isEmpty() ? QList<qsizetype>() : ownProperties(component, after);
    if (!anchor.isEmpty()) {
        insert(anchor.first() + 1, {line});
        return;
    }
    const QList<qsizetype> all = ownProperties(component);
    insert(all.isEmpty() ? indexOf(component) + 1 : all.last() + 1, {line});
}

void ItemPatch::setValue(Component component, const QByteArray& line) {
    const QList<qsizetype> found = ownProperties(component, nameOf(line));
    if (found.isEmpty()) {
        set(component, line);
        return;
    }
    const QByteArray& old = m_lines[found.first()].logical;
    const qsizetype start = valueStart(old);
    set(component, start < 0 ? line : old.left(start) + valueOf(line));
}

void ItemPatch::add(Component component, const QByteArray& line) {
    QList<qsizetype> after = ownProperties(component, nameOf(line));
    if (after.isEmpty())
        after = ownProperties(component);
    insert(after.isEmpty() ? indexOf(component) + 1 : after.last() + 1, {line});
}

void ItemPatch::removeProperties(Component component, const QByteArray& name) {
    const QList<qsizetype> found = ownProperties(component, name);
    for (qsizetype j = found.size() - 1; j >= 0; --j)
        m_lines.erase(m_lines.begin() + found[j]);
}

ItemPatch::Component ItemPatch::copy(Component component, const QSet<QByteArray>& without) {
    const qsizetype begin = indexOf(component);
    const qsizetype end = endOf(begin);
    const QList<qsizetype> own = ownProperties(component);
    std::vector<Line> lines;
    for (qsizetype i = begin; i <= end; ++i) {
        if (own.contains(i) && without.contains(nameOf(m_lines[i].logical)))
            continue;
        lines.push_back({m_nextId++, m_lines[i].raw, m_lines[i].logical});
    }
    const Component id = lines.front().id;
    m_lines.insert(m_lines.begin() + calendar().second, lines.begin(), lines.end());
    return id;
}

void ItemPatch::prepend(const QByteArray& componentText) {
    const auto [begin, end] = calendar();
    qsizetype at = begin + 1;
    while (at < end && boundary(m_lines[at].logical, "BEGIN").isEmpty())
        ++at;
    insert(at, logicalLines(componentText));
}

void ItemPatch::remove(Component component) {
    const qsizetype begin = indexOf(component);
    m_lines.erase(m_lines.begin() + begin, m_lines.begin() + endOf(begin) + 1);
}

QList<QByteArray> ItemPatch::logicalLines(const QByteArray& text) {
    QList<QByteArray> out;
    for (const QByteArray& physical : text.split('\n')) {
        const QByteArray line = withoutLineEnd(physical);
        if ((line.startsWith(' ') || line.startsWith('\t')) && !out.isEmpty())
            out.last() += line.mid(1);
        else if (!line.isEmpty())
            out.append(line);
    }
    return out;
}

ItemPatch::Line ItemPatch::makeLine(const QByteArray& logical) {
    return Line{m_nextId++, fold(logical, m_eol), logical};
}

qsizetype ItemPatch::indexOf(Component component) const {
    const auto it = std::find_if(m_lines.begin(), m_lines.end(),
                                 [component](const Line& line) { return line.id == component; });
    Q_ASSERT_X(it != m_lines.end(), "ItemPatch", "a component that is no longer in the text");
    return it - m_lines.begin();
}

qsizetype ItemPatch::endOf(qsizetype begin) const {
    int depth = 0;
    for (qsizetype i = begin; i < qsizetype(m_lines.size()); ++i) {
        if (!boundary(m_lines[i].logical, "BEGIN").isEmpty())
            ++depth;
        else if (!boundary(m_lines[i].logical, "END").isEmpty() && --depth == 0)
            return i;
    }
    return qsizetype(m_lines.size()) - 1; // not reached: read() accepts only nested components
}

std::pair<qsizetype, qsizetype> ItemPatch::calendar() const {
    const auto it = std::find_if(m_lines.begin(), m_lines.end(), [](const Line& line) {
        return boundary(line.logical, "BEGIN") == "VCALENDAR";
    });
    const qsizetype begin = it - m_lines.begin();
    return {begin, endOf(begin)};
}

QList<qsizetype> ItemPatch::ownProperties(Component component, const QByteArray& name) const {
    QList<qsizetype> out;
    const qsizetype begin = indexOf(component);
    const qsizetype end = endOf(begin);
    const QByteArray wanted = name.toUpper();
    for (qsizetype i = begin + 1; i < end; ++i) {
        if (!boundary(m_lines[i].logical, "BEGIN").isEmpty()) {
            i = endOf(i);
            continue;
        }
        const QByteArray found = nameOf(m_lines[i].logical);
        if (!found.isEmpty() && (wanted.isEmpty() || found == wanted))
            out.append(i);
    }
    return out;
}

void ItemPatch::insert(qsizetype at, const QList<QByteArray>& logical) {
    std::vector<Line> lines;
    for (const QByteArray& line : logical)
        lines.push_back(makeLine(line));
    m_lines.insert(m_lines.begin() + at, lines.begin(), lines.end());
}
