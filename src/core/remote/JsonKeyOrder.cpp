#include "core/remote/JsonKeyOrder.h"

#include <QSet>

#include <optional>

namespace JsonKeyOrder {

namespace {

// Walks JSON text without building it. Every read stops at the end of the text; a value that is not
// of the expected shape makes the read fail, and nothing after it is read.
class Reader {
public:
    explicit Reader(QByteArrayView text)
        : m_text(text) {}

    bool at(char c) {
        skipSpace();
        return m_pos < m_text.size() && m_text[m_pos] == c;
    }

    bool take(char c) {
        if (!at(c))
            return false;
        ++m_pos;
        return true;
    }

    // A string, its escapes decoded.
    std::optional<QString> string() {
        if (!take('"'))
            return std::nullopt;
        QString out;
        qsizetype run = m_pos;
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos];
            if (c != '"' && c != '\\') {
                ++m_pos;
                continue;
            }
            out += QString::fromUtf8(m_text.sliced(run, m_pos - run));
            ++m_pos;
            if (c == '"')
                return out;
            if (m_pos >= m_text.size())
                return std::nullopt;
            const char escaped = m_text[m_pos++];
            switch (escaped) {
            case 'b':
                out += u'\b';
                break;
            case 'f':
                out += u'\f';
                break;
            case 'n':
                out += u'\n';
                break;
            case 'r':
                out += u'\r';
                break;
            case 't':
                out += u'\t';
                break;
            case 'u': {
                // A surrogate pair comes as two escapes, each one UTF-16 unit: appended as they come.
                bool ok = false;
                const ushort unit =
                    m_pos + 4 <= m_text.size() ? m_text.sliced(m_pos, 4).toByteArray().toUShort(&ok, 16) : 0;
                if (!ok)
                    return std::nullopt;
                out += QChar(char16_t(unit));
                m_pos += 4;
                break;
            }
            default: // '"', '\\' and '/' stand for themselves
                out += QLatin1Char(escaped);
            }
            run = m_pos;
        }
        return std::nullopt;
    }

    // Passes over one value of any kind, nested ones counted rather than recursed into.
    bool skipValue() {
        skipSpace();
        const qsizetype start = m_pos;
        int depth = 0;
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos];
            if (c == '"') {
                if (!string())
                    return false;
            } else if (c == '{' || c == '[') {
                ++depth;
                ++m_pos;
            } else if (c == '}' || c == ']' || c == ',') {
                if (depth == 0)
                    break;
                if (c != ',')
                    --depth;
                ++m_pos;
            } else if (depth == 0 && (c == ' ' || c == '\t' || c == '\n' || c == '\r')) {
                break;
            } else {
                ++m_pos;
            }
            if (depth == 0 && (c == '"' || c == '}' || c == ']'))
                break;
        }
        return depth == 0 && m_pos > start;
    }

    // Hands each member's key to `member`, which reads the value.
    template <typename F> bool members(F&& member) {
        if (!take('{'))
            return false;
        if (take('}'))
            return true;
        do {
            const std::optional<QString> key = string();
            if (!key || !take(':') || !member(*key))
                return false;
        } while (take(','));
        return take('}');
    }

    // Calls `element` for each element, which reads it.
    template <typename F> bool elements(F&& element) {
        if (!take('['))
            return false;
        if (take(']'))
            return true;
        do {
            if (!element())
                return false;
        } while (take(','));
        return take(']');
    }

private:
    void skipSpace() {
        while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t' ||
                                         m_text[m_pos] == '\n' || m_text[m_pos] == '\r'))
            ++m_pos;
    }

    QByteArrayView m_text;
    qsizetype m_pos = 0;
};

} // namespace

QList<QStringList> memberKeys(QByteArrayView json, QStringView arrayKey, QStringView objectKey) {
    Reader reader(json);
    QList<QStringList> lists;
    reader.members([&](const QString& key) {
        if (key != arrayKey || !reader.at('['))
            return reader.skipValue();
        lists.clear(); // a repeated key: the last one counts, as in QJsonDocument
        return reader.elements([&] {
            QStringList keys;
            const bool read =
                !reader.at('{') ? reader.skipValue() : reader.members([&](const QString& member) {
                    if (member != objectKey || !reader.at('{'))
                        return reader.skipValue();
                    keys.clear();
                    QSet<QString> seen;
                    return reader.members([&](const QString& name) {
                        if (!seen.contains(name)) {
                            seen.insert(name);
                            keys.append(name);
                        }
                        return reader.skipValue();
                    });
                });
            lists.append(keys);
            return read;
        });
    });
    return lists;
}

} // namespace JsonKeyOrder
