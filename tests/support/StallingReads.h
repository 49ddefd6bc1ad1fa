#pragma once

#include "support/TestFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Stalled files for a process that runs with the stalling_reads shim preloaded (see
// stalling_reads.cpp): opening such a file for reading blocks until the test releases it, as on a
// hung network mount, and the opens are counted.
namespace StallingReads {

inline QString control(const QString& file) {
    const QFileInfo info(file);
    return info.path() + QStringLiteral("/.stall-") + info.fileName();
}

// Opens of `file` block from now on, until release().
inline bool stall(const QString& file) {
    return ::mkfifo(QFile::encodeName(control(file)).constData(), 0600) == 0;
}

// Opens of `file` block from now on, for good: nothing releases them.
inline bool stallForGood(const QString& file) {
    return TestFiles::write(control(file), "stalled for good");
}

// Lets the opens of `file` that are blocked go on, and the later ones open at once. Waits until one
// is blocked first: a release that came before it would be lost.
inline bool release(const QString& file) {
    const QByteArray path = QFile::encodeName(control(file));
    int writer = -1;
    if (!QTest::qWaitFor([&] { return (writer = ::open(path.constData(), O_WRONLY | O_NONBLOCK)) >= 0; },
                         60000))
        return false;
    ::unlink(path.constData());
    ::close(writer);
    return true;
}

// Lets every open of `file` go on from now on, those blocked (if any) among them, without waiting for
// one: what a test does last, whether its checks passed or not.
inline void stopStalling(const QString& file) {
    const QByteArray path = QFile::encodeName(control(file));
    const int writer = ::open(path.constData(), O_WRONLY | O_NONBLOCK);
    ::unlink(path.constData());
    if (writer >= 0)
        ::close(writer);
}

// The names of the stalled files of that folder that were opened, once per open, in order.
inline QStringList opened(const QString& folder) {
    return QString::fromUtf8(TestFiles::read(folder + QStringLiteral("/.stall-opens")))
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// While `refuse` holds, no thread can be made in this process, as past the user's limit on threads.
inline void refuseThreads(bool refuse) {
    const auto toggle = reinterpret_cast<void (*)(int)>(dlsym(RTLD_DEFAULT, "stalling_reads_refuse_threads"));
    QVERIFY(toggle);
    toggle(refuse);
}

} // namespace StallingReads
