#pragma once

#include <QByteArray>
#include <QProcess>
#include <QSize>

// A private X server for tests that need real X11 windows and input: Xvfb on a display number the
// server picks itself, so that tests running side by side never share one. start() points DISPLAY at
// it; the server ends with the object.
//
// Qt reads DISPLAY when the application object is made, so a test starts the server in its own
// main() before that.
class XvfbServer {
public:
    XvfbServer() = default;
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // Starts a screen of `size` pixels and waits for it to accept clients; false (with a message on
    // standard error) when Xvfb is missing or does not come up.
    bool start(QSize size = {1280, 800});
    // ":N" once started.
    const QByteArray& display() const { return m_display; }

private:
    QProcess m_process;
    QByteArray m_display;
};
