#pragma once

#include <QProcess>
#include <QSize>
#include <QString>
#include <QStringList>

// An X server of the test's own: Xvfb on a display number the server picks itself (so tests may run
// side by side), with no window manager, for the life of the object. X client tools (xdotool,
// xwininfo) run against it through run().
//
//     XvfbDisplay x;
//     QVERIFY2(x.isRunning(), qPrintable(x.error()));
//     environment.insert("DISPLAY", x.name());
//     const QString ids = x.run("xdotool", {"search", "--name", "^Vorrindel Settings$"});
class XvfbDisplay {
public:
    explicit XvfbDisplay(QSize screen = QSize(1280, 800));
    ~XvfbDisplay();
    XvfbDisplay(const XvfbDisplay&) = delete;
    XvfbDisplay& operator=(const XvfbDisplay&) = delete;

    bool isRunning() const { return !m_name.isEmpty(); }
    // Why the server did not start.
    const QString& error() const { return m_error; }
    // ":<number>"
    const QString& name() const { return m_name; }

    // Runs the program on this display and returns what it printed; empty when it failed.
    QString run(const QString& program, const QStringList& arguments, int timeoutMs = 5000) const;

private:
    QProcess m_server;
    QString m_name;
    QString m_error;
};
