#include "SettingsWorld.h"

class Testnotionsettings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void placeholder() {}
};

QTEST_MAIN(Testnotionsettings)
#include "tst_notionsettings.moc"
