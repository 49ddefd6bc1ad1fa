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
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("initials");
        QTest::newRow("first two words") << "x@example.com"
                                         << "  mary ann  evans"
                                         << "MA";
        QTest::newRow("local part with separators") << "john.smith_jr@example.com"
                                                    << ""
                                                    << "JS";
        QTest::newRow("local part without separators") << "john@example.com"
                                                       << ""
                                                       << "J";
        QTest::newRow("nothing to take") << "@example.com"
                                         << ""
                                         << "?";
        QTest::newRow("combining accent") << "x@example.com"
                                          << "e\u0301mile zola"
                                          << "E\u0301Z";
        QTest::newRow("emoji with skin tone") << "x@example.com"
                                              << "\U0001F44D\U0001F3FD team"
                                              << "\U0001F44D\U0001F3FDT";
    }
    void initials() {
        QFETCH(QString, email);
        QFETCH(QString, name);
        QFETCH(QString, initials);
        QCOMPARE(Person(email, name).initials(), initials);
    }

    void identityAndEquality() {
        const Person lower(QStringLiteral("ana@example.com"), QStringLiteral("Ana"));
        const Person upper(QStringLiteral("Ana@Example.COM"), QStringLiteral("Ana"));
        QCOMPARE(upper.id(), lower.id());
        QVERIFY(!(lower == upper));
        QCOMPARE(QSet<Person>({lower, upper, Person(lower.email, lower.name)}).size(), 2);
        QCOMPARE(upper.color(), lower.color());
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
