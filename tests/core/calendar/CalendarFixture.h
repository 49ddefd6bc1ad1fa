#pragma once

#include "core/calendar/LocalCalendars.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// A writable copy of a fixture folder of tests/core/calendar/fixtures, with helpers to read and
// write its items.
class CalendarFixture {
public:
    explicit CalendarFixture(const QString& name = QStringLiteral("vdir")) {
        const QString source = qEnvironmentVariable("VORRINDEL_SOURCE_DIR") +
                               QStringLiteral("/tests/core/calendar/fixtures/") + name;
        copy(source, root());
    }
    // An empty root.
    static CalendarFixture empty() { return CalendarFixture(nullptr); }

    QString root() const { return m_dir.path() + QStringLiteral("/calendars"); }
    QString path(const QString& relative) const { return root() + QLatin1Char('/') + relative; }

    LocalCalendars::Options options(const QTimeZone& zone = QTimeZone("America/New_York")) const {
        LocalCalendars::Options o;
        o.root = root();
        o.zone = zone;
        return o;
    }

    QByteArray read(const QString& relative) const {
        QFile f(path(relative));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void write(const QString& relative, const QByteArray& bytes) const {
        QDir().mkpath(QFileInfo(path(relative)).absolutePath());
        QFile f(path(relative));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    // An item with one VEVENT made of the given lines.
    void writeEvent(const QString& relative, const QStringList& lines) const {
        QByteArray text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\nBEGIN:VEVENT\r\n";
        for (const QString& line : lines)
            text += line.toUtf8() + "\r\n";
        text += "END:VEVENT\r\nEND:VCALENDAR\r\n";
        write(relative, text);
    }

private:
    explicit CalendarFixture(std::nullptr_t) { QDir().mkpath(root()); }

    static void copy(const QString& from, const QString& to) {
        QDir().mkpath(to);
        const QDir dir(from);
        for (const QFileInfo& info :
             dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
            const QString target = to + QLatin1Char('/') + info.fileName();
            if (info.isDir())
                copy(info.absoluteFilePath(), target);
            else
                QFile::copy(info.absoluteFilePath(), target);
            QFile::setPermissions(target, QFile::permissions(target) | QFileDevice::WriteOwner);
        }
    }

    QTemporaryDir m_dir;
};

inline QDateTime utc(const char* iso) {
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate).toUTC();
}
