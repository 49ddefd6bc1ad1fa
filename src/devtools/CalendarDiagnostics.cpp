#include "devtools/CalendarDiagnostics.h"

#include "core/calendar/ItemJournal.h"
#include "core/calendar/LocalCalendars.h"
#include "core/model/UserCal.h"

#include <QFile>
#include <QHash>
#include <QSaveFile>

#include <utility>

namespace CalendarDiagnostics {
namespace {

const QString kFlag = QStringLiteral("--list-calendars");
const QString kDash = QStringLiteral(" \u2014 ");

QString statusLine(CalendarAccess access) {
    return QStringLiteral("calendar access status: %1 (%2)")
        .arg(int(access))
        .arg(access == CalendarAccess::fullAccess ? QStringLiteral("full access")
                                                  : QStringLiteral("NOT granted"));
}

// Holidays and birthdays are not meetings; subscribed calendars (none in a vdir) neither.
bool countsAsUpcoming(const LocalCalendar& calendar, const QLocale& locale) {
    const QString title = locale.toLower(calendar.title);
    return !title.contains(QStringLiteral("holiday")) && !title.contains(QStringLiteral("birthday"));
}

} // namespace

QString report(LocalCalendars& calendars, const Clock& clock, const Cal& cal) {
    const CalendarAccess access = calendars.access();
    QStringList lines{statusLine(access)};
    if (access == CalendarAccess::fullAccess) {
        const QList<LocalCalendar> all = calendars.calendars();
        // One instant for every window, so that the counts agree with one another.
        const QDateTime now = clock();
        const QDateTime weekEnd = cal.addDays(now, 7);
        const QDateTime wideStart = cal.addDays(now, -60);
        const QDateTime wideEnd = cal.addDays(now, 120);
        // The other windows lie inside the wide one: one read of the folders answers all of them.
        const QList<LocalOccurrence> wide =
            all.isEmpty() ? QList<LocalOccurrence>() : calendars.occurrences(wideStart, wideEnd, all);
        // The counts of every calendar, in one pass: this week's, then the wide window's.
        QHash<QString, std::pair<qsizetype, qsizetype>> counts;
        for (const LocalOccurrence& o : wide) {
            std::pair<qsizetype, qsizetype>& count = counts[o.calendarId];
            if (o.overlaps(now, weekEnd))
                ++count.first;
            if (o.overlaps(wideStart, wideEnd))
                ++count.second;
        }

        // The list comes in calendar order: by source title, then title. Equal source titles are
        // neighbours, so each run of them is one account.
        for (qsizetype i = 0; i < all.size();) {
            const QString source = all[i].sourceTitle;
            lines.append(QStringLiteral("account: %1 [%2]").arg(source).arg(int(all[i].sourceType)));
            for (; i < all.size() && all[i].sourceTitle == source; ++i) {
                lines.append(QStringLiteral("  - ") + all[i].title + kDash +
                             QStringLiteral("%1 in the next 7 days, %2 between -60 and +120 days")
                                 .arg(counts.value(all[i].id).first)
                                 .arg(counts.value(all[i].id).second));
            }
        }

        // The titles of the calendars whose events count as upcoming, by identifier.
        QHash<QString, QString> upcomingTitles;
        for (const LocalCalendar& calendar : all) {
            if (countsAsUpcoming(calendar, cal.locale()))
                upcomingTitles.insert(calendar.id, calendar.title);
        }
        QStringList upcoming;
        for (const LocalOccurrence& o : wide) {
            if (upcoming.size() == 3)
                break;
            const auto title = upcomingTitles.constFind(o.calendarId);
            if (title == upcomingTitles.constEnd() || !o.overlaps(now, wideEnd))
                continue;
            upcoming.append(cal.locale().toString(cal.inZone(o.start), QStringLiteral("ddd d MMM, h:mm AP")) +
                            kDash + o.title.value_or(QStringLiteral("(untitled)")) + QStringLiteral(" [") +
                            *title + QLatin1Char(']'));
        }
        lines.append(QStringLiteral("next upcoming: ") +
                     (upcoming.isEmpty() ? QStringLiteral("none") : upcoming.join(QStringLiteral("; "))));

        // What the app cannot see, and why: malformed, too large, too costly, or skipped since it
        // took the app down.
        for (const LocalCalendars::SkippedItem& item : calendars.skippedItems(all))
            lines.append(QStringLiteral("skipped: ") + item.calendarId + QLatin1Char('/') + item.fileName +
                         kDash + item.reason);
        // And what it sees only in part: a rule it cannot expand, dates libical dropped.
        for (const LocalCalendars::SkippedItem& item : calendars.partlyReadItems(all))
            lines.append(QStringLiteral("partly read: ") + item.calendarId + QLatin1Char('/') +
                         item.fileName + kDash + item.reason);
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

bool run(const QStringList& arguments, LocalCalendars& calendars, const Clock& clock, const Cal& cal,
         QIODevice& out, QIODevice& err) {
    const qsizetype at = arguments.indexOf(kFlag);
    if (at < 0)
        return false;
    QString path;
    if (at + 1 < arguments.size() && !arguments[at + 1].startsWith(QStringLiteral("--")))
        path = arguments[at + 1];

    const QByteArray text = report(calendars, clock, cal).toUtf8();
    out.write(text);
    if (auto* file = qobject_cast<QFile*>(&out))
        file->flush();

    if (!path.isEmpty()) {
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
            // The report is on standard output already; say why the file is missing.
            err.write(QStringLiteral("list-calendars: could not write %1: %2\n")
                          .arg(path, file.errorString())
                          .toUtf8());
        }
    }
    return true;
}

bool runIfRequested(const QStringList& arguments) {
    if (!arguments.contains(kFlag))
        return false;
    const Cal cal = UserCal::current();
    LocalCalendars::Options options;
    options.zone = cal.zone();
    options.journal = ItemJournal::defaultFolder();
    LocalCalendars calendars(options);
    QFile out;
    out.open(stdout, QIODevice::WriteOnly);
    QFile err;
    err.open(stderr, QIODevice::WriteOnly);
    return run(arguments, calendars, systemClock(), cal, out, err);
}

} // namespace CalendarDiagnostics
