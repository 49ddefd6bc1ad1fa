#pragma once

#include "core/calendar/LocalCalendars.h"
#include "support/TestFiles.h"

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

    QByteArray read(const QString& relative) const { return TestFiles::read(path(relative)); }
    void write(const QString& relative, const QByteArray& bytes) const {
        QVERIFY(TestFiles::write(path(relative), bytes));
    }
    // One VCALENDAR with a VEVENT made of each list of lines.
    static QByteArray calendarObject(const QList<QStringList>& events) {
        QByteArray text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n";
        for (const QStringList& lines : events)
            text += "BEGIN:VEVENT\r\n" + lines.join(QStringLiteral("\r\n")).toUtf8() + "\r\nEND:VEVENT\r\n";
        return text + "END:VCALENDAR\r\n";
    }
    // An item with one VEVENT made of the given lines.
    void writeEvent(const QString& relative, const QStringList& lines) const {
        write(relative, calendarObject({lines}));
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
inline QDateTime utc(const QString& iso) {
    return QDateTime::fromString(iso, Qt::ISODate).toUTC();
}

// The occurrence with that title starting at that instant, found in every calendar.
template <typename Title, typename Start>
std::optional<LocalOccurrence> findOccurrence(LocalCalendars& calendars, const Title& title,
                                              const Start& start) {
    const QDateTime at = utc(start);
    for (const LocalOccurrence& o :
         calendars.occurrences(at.addDays(-1), at.addDays(1), calendars.calendars())) {
        if (o.title == QString(title) && o.start == at)
            return o;
    }
    return std::nullopt;
}

Q_DECLARE_METATYPE(LocalCalendars::Slot)
