#include "app/UrlRouter.h"

#include <QTest>

using Kind = UrlRouter::Action::Kind;
Q_DECLARE_METATYPE(Kind)

class TestUrlRouter : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void route_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("prefill");
        QTest::newRow("open") << "vorrindel://open" << Kind::Open << "";
        QTest::newRow("settings from the sign-in page") << "vorrindel://settings" << Kind::Settings << "";
        QTest::newRow("preview-alert") << "vorrindel://preview-alert" << Kind::PreviewAlert << "";
        QTest::newRow("host in mixed case, encoded text")
            << "vorrindel://QuickAdd?text=Lunch%20at%201%2B2" << Kind::QuickAdd << "Lunch at 1+2";
        QTest::newRow("plus stays a plus") << "vorrindel://add?text=1+2" << Kind::QuickAdd << "1+2";
        QTest::newRow("item named Text") << "vorrindel://new?Text=Lunch" << Kind::QuickAdd << "";
        QTest::newRow("two text items: the first")
            << "vorrindel://add?text=first&text=second" << Kind::QuickAdd << "first";
        QTest::newRow("text after another item") << "vorrindel://add?x=1&text=Tea" << Kind::QuickAdd << "Tea";
        QTest::newRow("path and fragment ignored")
            << "vorrindel://settings/general#x" << Kind::Settings << "";
        QTest::newRow("scheme not looked at") << "other://open" << Kind::Open << "";
        QTest::newRow("no authority, so no host") << "vorrindel:open" << Kind::None << "";
        QTest::newRow("host only similar") << "vorrindel://settings2" << Kind::None << "";
    }
    void route() {
        QFETCH(QString, url);
        QFETCH(Kind, kind);
        QFETCH(QString, prefill);
        const UrlRouter::Action action = UrlRouter::route(QUrl(url));
        QCOMPARE(action.kind, kind);
        QCOMPARE(action.prefill, prefill);
    }
};

QTEST_GUILESS_MAIN(TestUrlRouter)
#include "tst_urlrouter.moc"
