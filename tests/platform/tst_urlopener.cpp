#include "platform/UrlOpener.h"

#include <QTest>

class TestUrlOpener : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void remoteLinks_data() {
        QTest::addColumn<QString>("link");
        QTest::addColumn<bool>("safe");
        QTest::newRow("https") << "https://meet.google.com/abc-defg-hij" << true;
        QTest::newRow("http upper case") << "HTTP://example.com/x" << true;
        QTest::newRow("file") << "file:///etc/passwd" << false;
        QTest::newRow("javascript") << "javascript:alert(1)" << false;
        QTest::newRow("custom scheme") << "zoommtg://zoom.us/join?confno=1" << false;
        QTest::newRow("no host") << "https:///path" << false;
        QTest::newRow("empty") << "" << false;
    }
    void remoteLinks() {
        QFETCH(QString, link);
        QFETCH(bool, safe);
        QCOMPARE(isSafeRemoteLink(QUrl(link)), safe);
    }
};

QTEST_GUILESS_MAIN(TestUrlOpener)
#include "tst_urlopener.moc"
