#pragma once

#include <QProcess>

// The real program (VORRINDEL_BINARY), started as a user or the desktop starts it, and killed if it
// still runs when the test is done with it.
class AppProcess : public QProcess {
public:
    explicit AppProcess(const QStringList& arguments,
                        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
        setProcessEnvironment(environment);
        start(qEnvironmentVariable("VORRINDEL_BINARY"), arguments);
    }
    ~AppProcess() override {
        if (state() != NotRunning) {
            kill();
            waitForFinished();
        }
    }
};
