#include "devtools/ParseDiagnostics.h"

#include "core/model/CalEvent.h"
#include "core/model/UserCal.h"
#include "core/quickadd/EditPhrase.h"
#include "core/quickadd/QuickAddParser.h"

#include <QFile>

#include <cstdio>

namespace ParseDiagnostics {
namespace {

constexpr int kDefaultMinutes = 60;
const QString kDash = QStringLiteral(" \u2013 ");
const QString kArrow = QStringLiteral("  \u2192 ");

QString flag(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

QString quoted(const QString& text) {
    return u'"' + text + u'"';
}

// Each report is written at once, so that lines of two reports never interleave.
void write(QIODevice& out, const QString& lines) {
    out.write(lines.toUtf8());
    if (auto* file = qobject_cast<QFile*>(&out))
        file->flush();
}

struct Report {
    const QDateTime& now;
    const Cal& cal;
    QIODevice& out;

    QString when(const QDateTime& instant) const {
        return cal.locale().toString(cal.inZone(instant), u"ddd d MMM yyyy HH:mm");
    }

    void merge(const QString& eventText, const QStringList& phrases) const {
        const QuickAddDraft draft =
            QuickAddParser::parse(QStringLiteral("x ") + eventText, now, kDefaultMinutes, cal);
        CalEvent event;
        event.id = QStringLiteral("diag");
        event.title = QStringLiteral("Diag");
        event.start = draft.start;
        event.end = draft.end;
        event.isAllDay = draft.isAllDay;
        event.color = CalEvent::systemBlue();
        event.calendarName = QStringLiteral("Diag");
        event.source = EventSource::google;
        event.organizerIsMe = true;
        event.calendarEditable = true;

        write(out, QStringLiteral("event: ") + when(event.start) + kDash + when(event.end) +
                       QStringLiteral(" allDay=") + flag(event.isAllDay) + u'\n');
        write(out, QStringLiteral("canonical: ") + quoted(EditPhrase::canonical(event, now, cal)) + u'\n');
        for (const QString& phrase : phrases) {
            const EditPhrase::Merge m = EditPhrase::merge(phrase, event, now, kDefaultMinutes, cal);
            write(out, quoted(phrase) + u'\n' + kArrow + when(m.start) + kDash + when(m.end) +
                           QStringLiteral(" allDay=") + flag(m.isAllDay) + QStringLiteral(" ok=") +
                           flag(m.ok) + QStringLiteral(" keptDay=") + flag(m.keptDay) + u'\n');
        }
    }

    void parse(const QStringList& lines) const {
        for (const QString& line : lines) {
            const QuickAddDraft d = QuickAddParser::parse(line, now, kDefaultMinutes, cal);
            QStringList emails;
            for (const Person& p : d.invitees)
                emails.append(quoted(p.email));
            write(out, line + u'\n' + kArrow + QStringLiteral("title=") + quoted(d.title) +
                           QStringLiteral(" start=") + when(d.start) + QStringLiteral(" end=") + when(d.end) +
                           QStringLiteral(" allDay=") + flag(d.isAllDay) + QStringLiteral(" hasDate=") +
                           flag(d.hasDate) + QStringLiteral(" hasTime=") + flag(d.hasTime) +
                           QStringLiteral(" invitees=[") + emails.join(QStringLiteral(", ")) +
                           QStringLiteral("]\n"));
        }
    }
};

} // namespace

bool run(const QStringList& arguments, const QDateTime& now, const Cal& cal, QIODevice& out) {
    const Report report{now, cal, out};
    // The first argument is the program's path.
    if (const qsizetype i = arguments.indexOf(QStringLiteral("--merge"), 1);
        i >= 1 && arguments.size() - i > 2) {
        report.merge(arguments[i + 1], arguments.mid(i + 2));
        return true;
    }
    if (const qsizetype i = arguments.indexOf(QStringLiteral("--parse"), 1);
        i >= 1 && i + 1 < arguments.size()) {
        report.parse(arguments.mid(i + 1));
        return true;
    }
    return false;
}

bool runIfRequested(const QStringList& arguments) {
    QFile out;
    if (!out.open(stdout, QIODevice::WriteOnly))
        return false;
    return run(arguments, QDateTime::currentDateTimeUtc(), UserCal::current(), out);
}

} // namespace ParseDiagnostics
