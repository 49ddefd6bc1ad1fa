#include "devtools/ParseDiagnostics.h"

namespace ParseDiagnostics {

bool runIfRequested(const QStringList& arguments) {
    Q_UNUSED(arguments);
    return false;
}

} // namespace ParseDiagnostics
