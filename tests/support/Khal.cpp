#include "support/Khal.h"

#include "support/TestFiles.h"

#include <QProcess>
#include <QStandardPaths>

namespace Khal {

Listing list(const QStringList& collections, const QString& zone, const QString& from, const QString& to,
             const QString& workFolder, bool withOffsets) {
    Listing listing;
    const QString khal = QStandardPaths::findExecutable(QStringLiteral("khal"));
    if (khal.isEmpty()) {
        listing.diagnostics = QStringLiteral("khal is not installed (scripts/deps.sh --tests installs it)");
        return listing;
    }

    QString config = QStringLiteral("[calendars]\n");
    for (int i = 0; i < collections.size(); ++i)
        config += QStringLiteral("[[c%1]]\npath = %2\ntype = calendar\n").arg(i).arg(collections[i]);
    config += QStringLiteral("[sqlite]\npath = %1/khal.db\n"
                             "[locale]\ntimeformat = %H:%M\ndateformat = %Y-%m-%d\n"
                             "longdateformat = %Y-%m-%d\ndatetimeformat = %Y-%m-%d %H:%M%3\n"
                             "longdatetimeformat = %Y-%m-%d %H:%M%3\n"
                             "local_timezone = %2\ndefault_timezone = %2\n")
                  .arg(workFolder, zone, withOffsets ? QStringLiteral("%z") : QString());
    const QString configPath = workFolder + QStringLiteral("/khal.conf");
    if (!TestFiles::write(configPath, config.toUtf8())) {
        listing.diagnostics = QStringLiteral("cannot write ") + configPath;
        return listing;
    }

    QProcess process;
    process.start(
        khal, {"-c", configPath, "list", "--format", "{start} {end} {title}", "--day-format", "", from, to});
    listing.ran = process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
                  process.exitCode() == 0;
    listing.diagnostics = QString::fromUtf8(process.readAllStandardError());
    for (const QString& line : QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        // khal repeats a multi-day event on each of its days.
        const QString trimmed = line.trimmed();
        if (!trimmed.isEmpty() && !listing.lines.contains(trimmed))
            listing.lines.append(trimmed);
    }
    return listing;
}

} // namespace Khal
