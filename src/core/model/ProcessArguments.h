#pragma once

#include <QString>
#include <QStringList>

// The arguments the process was started with. Options are matched as whole arguments, exactly and
// case-sensitively ("--debugx" and "--DEBUG" are not "--debug").
namespace ProcessArguments {

// As main() received them, before QApplication takes out the options it understands ("--style x"
// would otherwise vanish from a list of phrases). Until main() sets them (in tests), the
// application's own list.
QStringList all();
void set(const QStringList& arguments);

bool contains(const QString& argument);

// Snapshot mode: the snapshot renderer is running. Views that hold text fields or scroll views then
// draw a static variant for its pictures. "--snapshot" among the arguments is not enough: as the last
// argument the mode does not run, the app starts normally, and its views must stay live.
bool isSnapshotMode();
// Said by the renderer when it starts (and by tests).
void setSnapshotMode(bool on);

} // namespace ProcessArguments
