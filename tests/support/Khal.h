#pragma once

#include <QString>
#include <QStringList>

// khal, the command-line calendar, as an independent reader of the vdir folders we write.
namespace Khal {

struct Listing {
    bool ran = false;    // khal was found, ran and exited with status 0
    QStringList lines;   // "{start} {end} {title}", each line once, in khal's order
    QString diagnostics; // khal's standard error, where it names the items it skipped
};

// The events of the given collection folders from day `from` to day `to` ("yyyy-MM-dd", both
// included), times as "yyyy-MM-dd HH:mm" in `zone`, with their offset ("+0100") when `withOffsets`, which
// tells the two times of a repeated hour apart. khal's configuration and cache go into `workFolder`.
Listing list(const QStringList& collections, const QString& zone, const QString& from, const QString& to,
             const QString& workFolder, bool withOffsets = false);

} // namespace Khal
