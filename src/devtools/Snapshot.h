#pragma once

#include <QStringList>

// The "--snapshot" and "--test-loopback" developer modes.
namespace Snapshot {
// Renders the panel's states into PNG files when the arguments hold "--snapshot" and a folder.
bool runIfRequested(const QStringList& arguments);
// Starts the sign-in listener self-test when the arguments hold "--test-loopback"; it ends the
// process by itself.
bool runLoopbackTestIfRequested(const QStringList& arguments);
} // namespace Snapshot
