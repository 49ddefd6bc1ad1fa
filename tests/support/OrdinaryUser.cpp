#include "support/OrdinaryUser.h"

#include <cerrno>
#include <cstring>
#include <grp.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace OrdinaryUser {

QString become() {
    if (::geteuid() != 0)
        return QString();
    const passwd* nobody = ::getpwnam("nobody");
    const uid_t uid = nobody ? nobody->pw_uid : 65534;
    const gid_t gid = nobody ? nobody->pw_gid : 65534;
    // The group first: once the user has changed, the process may no longer change it.
    if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
        return QStringLiteral("could not become an ordinary user: ") +
               QString::fromLocal8Bit(std::strerror(errno));
    // A change of user makes the process undumpable, which takes /proc/self from it (the sanitizers
    // read their maps there).
    ::prctl(PR_SET_DUMPABLE, 1, 0, 0, 0);
    return ::geteuid() == 0 ? QStringLiteral("still root") : QString();
}

} // namespace OrdinaryUser
