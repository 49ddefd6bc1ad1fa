#pragma once

#include <QByteArrayView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QString>

#include <optional>

// Walks JSON text without building it, for the places where a reply's text says more than the
// QJsonDocument read from it (the order of keys), or where only part of a large reply is wanted.
// Every read stops at the end of the text; a value that is not of the expected shape makes the read
// fail, and nothing after it is read. Values passed over are only counted through, not checked.
class JsonReader {
public:
    explicit JsonReader(QByteArrayView text)
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

    // Whether nothing but white space is left.
    bool atEnd() {
        skipSpace();
        return m_pos == m_text.size();
    }

    // The text of a string, quotes included, its escapes as written.
    std::optional<QByteArrayView> rawString() {
        if (!at('"'))
            return std::nullopt;
        const qsizetype start = m_pos++;
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos++];
            if (c == '\\')
                ++m_pos;
            else if (c == '"')
                return m_text.sliced(start, m_pos - start);
        }
        return std::nullopt;
    }

    // A string, its escapes decoded as QJsonDocument decodes them, so that it matches the keys it read.
    std::optional<QString> string() {
        const std::optional<QByteArrayView> raw = rawString();
        if (!raw)
            return std::nullopt;
        if (!raw->contains('\\'))
            return QString::fromUtf8(raw->sliced(1, raw->size() - 2));
        const QJsonArray decoded = QJsonDocument::fromJson('[' + raw->toByteArray() + ']').array();
        if (decoded.size() != 1 || !decoded[0].isString())
            return std::nullopt;
        return decoded[0].toString();
    }

    // Passes over one value of any kind, nested ones counted rather than recursed into.
    bool skipValue() { return rawValue().has_value(); }

    // The text of the next value, passed over as skipValue() does.
    std::optional<QByteArrayView> rawValue() {
        skipSpace();
        const qsizetype start = m_pos;
        int depth = 0;
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos];
            if (c == '"') {
                if (!rawString())
                    return std::nullopt;
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
        if (depth != 0 || m_pos == start)
            return std::nullopt;
        return m_text.sliced(start, m_pos - start);
    }

    // Hands each member's key to `member`, which reads the value.
    template <typename F> bool members(F&& member) {
        return sequence('{', '}', [&] {
            const std::optional<QString> key = string();
            return key && take(':') && member(*key);
        });
    }

    // Calls `element` for each element, which reads it.
    template <typename F> bool elements(F&& element) { return sequence('[', ']', element); }

private:
    // Items between `open` and `close`, separated by commas; `item` reads one.
    template <typename F> bool sequence(char open, char close, F&& item) {
        if (!take(open))
            return false;
        if (take(close))
            return true;
        do {
            if (!item())
                return false;
        } while (take(','));
        return take(close);
    }

    void skipSpace() {
        while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t' ||
                                         m_text[m_pos] == '\n' || m_text[m_pos] == '\r'))
            ++m_pos;
    }

    QByteArrayView m_text;
    qsizetype m_pos = 0;
};
