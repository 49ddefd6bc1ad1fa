#include "core/model/Person.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSet>
#include <QTest>
#include <QTextStream>

namespace {

QString coloursOfSomeAddresses() {
    QStringList names;
    for (int i = 0; i < 16; ++i)
        names << Person(QStringLiteral("person%1@example.com").arg(i)).color().name();
    return names.join(u' ');
}

} // namespace

class TestPerson : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initials_data() {
        QTest::addColumn<QString>("initials");
        QTest::addColumn<QString>("expected");
        QTest::newRow("first two words") << Person("x@example.com", "  mary ann  evans").initials() << "MA";
        QTest::newRow("local part with separators") << Person("john.smith_jr@example.com").initials() << "JS";
        QTest::newRow("nothing to take") << Person("@example.com").initials() << "?";
        QTest::newRow("combining accent")
            << Person("x@example.com", "e\u0301mile zola").initials() << "E\u0301Z";
        QTest::newRow("emoji with skin tone")
            << Person("x@example.com", "\U0001F44D\U0001F3FD team").initials() << "\U0001F44D\U0001F3FDT";
    }
    void initials() {
        QFETCH(QString, initials);
        QFETCH(QString, expected);
        QCOMPARE(initials, expected);
    }

    // Another process has another hash seed; an address must keep its colour across launches.
    void colourSameInAnotherProcess() {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_HASH_SEED"), QStringLiteral("0"));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--print-colours")});
        QVERIFY(child.waitForFinished(30'000));
        QCOMPARE(QString::fromUtf8(child.readAllStandardOutput()).trimmed(), coloursOfSomeAddresses());
    }
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (app.arguments().contains(QStringLiteral("--print-colours"))) {
        QTextStream(stdout) << coloursOfSomeAddresses() << '\n';
        return 0;
    }
    TestPerson test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_person.moc"
