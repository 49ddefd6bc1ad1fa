#include "devtools/CalendarDiagnostics.h"

namespace CalendarDiagnostics {

bool runIfRequested(const QStringList& arguments) {
    Q_UNUSED(arguments);
    return false;
}

} // namespace CalendarDiagnostics
