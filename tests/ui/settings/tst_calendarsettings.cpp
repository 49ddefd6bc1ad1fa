#include "SettingsWorld.h"

class Testcalendarsettings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void placeholder() {}
};

QTEST_MAIN(Testcalendarsettings)
#include "tst_calendarsettings.moc"
