#include "core/settings/LaunchAtLogin.h"

#include "core/model/PrivateFile.h"

#include <QFile>

namespace {

// The Exec key's quoting: an argument holding a reserved character goes in double quotes with
// '"', '`', '$' and '\' escaped; then the value's own escaping doubles every backslash and writes
// line breaks and tabs as escapes (a raw line break would end the entry's line), and a literal '%' is
// written "%%".
QString execValue(const QString& program) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QString argument = program;
    argument.replace(QLatin1Char('%'), QStringLiteral("%%"));
    bool quote = false;
    for (QChar c : argument)
        quote = quote || reserved.contains(c);
    if (quote) {
        QString quoted;
        for (QChar c : argument) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
                quoted += QLatin1Char('\\');
            quoted += c;
        }
        argument = QLatin1Char('"') + quoted + QLatin1Char('"');
    }
    argument.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    argument.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    argument.replace(QLatin1Char('\r'), QStringLiteral("\\r"));
    argument.replace(QLatin1Char('\t'), QStringLiteral("\\t"));
    return argument;
}

} // namespace

LaunchAtLogin::LaunchAtLogin(QString autostartFile, QString executable)
    : m_file(std::move(autostartFile))
    , m_executable(std::move(executable)) {}

bool LaunchAtLogin::isEnabled() const {
    QFile file(m_file);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line == u"Hidden=true" || line == u"X-GNOME-Autostart-enabled=false")
            return false;
    }
    return true;
}

void LaunchAtLogin::setEnabled(bool on) {
    if (!on) {
        QFile file(m_file);
        if (file.exists() && !file.remove())
            throw LaunchAtLoginError(
                QStringLiteral("Couldn’t remove %1: %2").arg(m_file, file.errorString()));
        return;
    }
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Vorrindel\n"
                                         "Comment=Keeps your next meetings in sight\n"
                                         "Exec=%1\n"
                                         "Icon=vorrindel\n"
                                         "Terminal=false\n"
                                         "X-GNOME-Autostart-enabled=true\n")
                              .arg(execValue(m_executable));
    const QString error = PrivateFile::write(m_file, entry.toUtf8(), 0644);
    if (!error.isEmpty())
        throw LaunchAtLoginError(error);
}
