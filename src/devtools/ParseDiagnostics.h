#pragma once

#include <QStringList>

// The "--parse" and "--merge" developer modes: what the quick-add parser makes of given phrases.
namespace ParseDiagnostics {
bool runIfRequested(const QStringList& arguments);
}
