#include "support/XvfbDisplay.h"

#include <QDeadlineTimer>
#include <QProcessEnvironment>

XvfbDisplay::XvfbDisplay(QSize screen) {
    // -displayfd: the server picks a free display and writes its number once it accepts clients.
    m_server.setProcessChannelMode(QProcess::SeparateChannels);
    m_server.start(QStringLiteral("Xvfb"),
                   {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                    QStringLiteral("0"), QStringLiteral("%1x%2x24").arg(screen.width()).arg(screen.height()),
                    QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    if (!m_server.waitForStarted(5000)) {
        m_error = QStringLiteral("Xvfb did not start: ") + m_server.errorString();
        return;
    }
    QByteArray output;
    const QDeadlineTimer deadline(10000);
    while (!output.contains('\n') && !deadline.hasExpired() && m_server.state() == QProcess::Running) {
        m_server.waitForReadyRead(int(deadline.remainingTime()));
        output += m_server.readAllStandardOutput();
    }
    bool ok = false;
    const int number = output.trimmed().toInt(&ok);
    if (!ok) {
        m_error = QStringLiteral("Xvfb named no display: ") +
                  QString::fromLocal8Bit(m_server.readAllStandardError());
        return;
    }
    m_name = QStringLiteral(":%1").arg(number);
}

XvfbDisplay::~XvfbDisplay() {
    if (m_server.state() != QProcess::NotRunning) {
        m_server.terminate();
        if (!m_server.waitForFinished(5000)) {
            m_server.kill();
            m_server.waitForFinished();
        }
    }
}

QString XvfbDisplay::run(const QString& program, const QStringList& arguments, int timeoutMs) const {
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_name);
    tool.setProcessEnvironment(environment);
    tool.start(program, arguments);
    if (!tool.waitForFinished(timeoutMs) || tool.exitStatus() != QProcess::NormalExit ||
        tool.exitCode() != 0) {
        tool.kill();
        tool.waitForFinished();
        return QString();
    }
    return QString::fromLocal8Bit(tool.readAllStandardOutput());
}
