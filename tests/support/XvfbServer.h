#pragma once

#include <QByteArray>
#include <QProcess>
#include <QSize>
#include <QStringList>

// A private X server for tests that need real X11 windows and input, on a display number the server
// picks itself, so that tests running side by side never share one. Started, it points DISPLAY at
// itself; the server ends with the object.
//
// Qt reads DISPLAY when the application object is made, so a test starts the server in its own
// main() before that.
class XServer {
public:
    XServer() = default;
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    // ":N" once started.
    const QByteArray& display() const { return m_display; }

protected:
    // Runs `program` with `arguments` and waits for it to accept clients; false (with a message on
    // standard error) when it is missing or does not come up.
    bool launch(const QString& program, QStringList arguments);

private:
    QProcess m_process;
    QByteArray m_display;
};

// Xvfb: one screen in memory.
class XvfbServer : public XServer {
public:
    // Starts a screen of `size` pixels.
    bool start(QSize size = {1280, 800});
};
