#include "SettingsWorld.h"

class Testgooglesettings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void placeholder() {}
};

QTEST_MAIN(Testgooglesettings)
#include "tst_googlesettings.moc"
