#include "support/XvfbServer.h"

#include <QDeadlineTimer>

#include <cstdio>
#include <poll.h>
#include <unistd.h>

XServer::~XServer() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(1000);
    }
}

bool XServer::launch(const QString& program, QStringList arguments) {
    // The server writes the display number it chose to the descriptor given with -displayfd once it
    // is ready for clients: no guessing at free numbers, no polling for its socket.
    int ready[2];
    if (::pipe(ready) != 0)
        return false;
    m_process.setProgram(program);
    // -noreset: a server resets when its last client leaves, refusing connections meanwhile, and the
    // app's own "is there a display?" probe is such a client just before Qt connects.
    arguments << QStringLiteral("-displayfd") << QString::number(ready[1]) << QStringLiteral("-nolisten")
              << QStringLiteral("tcp") << QStringLiteral("-noreset");
    m_process.setArguments(arguments);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.start();
    ::close(ready[1]);
    if (!m_process.waitForStarted(5000)) {
        std::fprintf(stderr, "XServer: %s does not start: %s\n", qPrintable(program),
                     qPrintable(m_process.errorString()));
        ::close(ready[0]);
        return false;
    }

    QByteArray number;
    const QDeadlineTimer deadline(10000);
    while (!number.endsWith('\n') && !deadline.hasExpired()) {
        pollfd wait{ready[0], POLLIN, 0};
        if (::poll(&wait, 1, int(deadline.remainingTime())) <= 0)
            break;
        char c;
        if (::read(ready[0], &c, 1) != 1)
            break;
        number.append(c);
    }
    ::close(ready[0]);
    if (!number.endsWith('\n')) {
        std::fprintf(stderr, "XServer: %s did not report a display\n", qPrintable(program));
        return false;
    }
    m_display = ':' + number.trimmed();
    qputenv("DISPLAY", m_display);
    return true;
}

bool XvfbServer::start(QSize size) {
    return launch(QStringLiteral("Xvfb"), {QStringLiteral("-screen"), QStringLiteral("0"),
                                           QStringLiteral("%1x%2x24").arg(size.width()).arg(size.height())});
}
