#include "devtools/ParseDiagnostics.h"
#include "support/WallClock.h"

#include <QBuffer>
#include <QRegularExpression>
#include <QTest>

// The reports run with "now" at Saturday 5 December 2026, 10:00 in Berlin, in an English locale.
class TestParseDiagnostics : public QObject {
    Q_OBJECT

    const Cal m_cal = WallClock::cal("Europe/Berlin", "en_US");

    std::pair<bool, QString> run(const QStringList& arguments) const {
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        const bool ran = ParseDiagnostics::run(QStringList{QStringLiteral("vorrindel")} + arguments,
                                               WallClock::at(m_cal, "2026-12-05 10:00"), m_cal, out);
        return {ran, QString::fromUtf8(out.data())};
    }

private slots:
    void parseReport() {
        const auto [ran, text] =
            run({"--parse", "lunch tomorrow 12:30 with bob@corp.io", "Sync a@x.io B@y.io", ""});
        QVERIFY(ran);
        QCOMPARE(text,
                 QStringLiteral("lunch tomorrow 12:30 with bob@corp.io\n"
                                "  → title=\"lunch\" start=Sun 6 Dec 2026 12:30 end=Sun 6 Dec 2026 13:30 "
                                "allDay=false hasDate=true hasTime=true invitees=[\"bob@corp.io\"]\n"
                                "Sync a@x.io B@y.io\n"
                                "  → title=\"Sync\" start=Sat 5 Dec 2026 00:00 end=Sun 6 Dec 2026 00:00 "
                                "allDay=true hasDate=false hasTime=false invitees=[\"a@x.io\", \"B@y.io\"]\n"
                                "\n"
                                "  → title=\"New event\" start=Sat 5 Dec 2026 00:00 end=Sun 6 Dec 2026 00:00 "
                                "allDay=true hasDate=false hasTime=false invitees=[]\n"));
    }

    // Which mode runs, and what it reports on.
    void modeChoice_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("ran");
        QTest::addColumn<QStringList>("quoted"); // the texts the mode that ran reported on, in order
        QTest::newRow("parse as the last argument") << QStringList{"--parse"} << false << QStringList{};
        QTest::newRow("merge without a phrase")
            << QStringList{"--merge", "lunch 3pm"} << false << QStringList{};
        QTest::newRow("parse takes merge as text")
            << QStringList{"--parse", "a", "--merge", "b"} << true << QStringList{"a", "--merge", "b"};
    }
    void modeChoice() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, ran);
        QFETCH(QStringList, quoted);
        const auto [didRun, text] = run(arguments);
        QCOMPARE(didRun, ran);
        static const QRegularExpression reportedText(QStringLiteral("^(?!  → |event: |canonical: ).+"));
        QCOMPARE(text.split(u'\n').filter(reportedText), quoted);
    }
};

QTEST_GUILESS_MAIN(TestParseDiagnostics)
#include "tst_parsediagnostics.moc"
