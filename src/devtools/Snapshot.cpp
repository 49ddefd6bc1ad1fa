#include "devtools/Snapshot.h"

namespace Snapshot {

bool runIfRequested(const QStringList& arguments) {
    Q_UNUSED(arguments);
    return false;
}

bool runLoopbackTestIfRequested(const QStringList& arguments) {
    Q_UNUSED(arguments);
    return false;
}

} // namespace Snapshot
