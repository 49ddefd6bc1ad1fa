#include "ui/ViewWorld.h"

#include "core/model/ProcessArguments.h"
#include "devtools/Snapshot.h"
#include "support/TempHome.h"

#include <QDir>
#include <QImage>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

// Runs the real app with "--snapshot" as a developer or CI would: off screen, at a fixed time (through
// libfaketime), in Berlin with a 12-hour English locale (both pinned for this test), in a home of its
// own.
namespace {

const QStringList allShots = {"peek",     "expanded",         "detail",
                              "quickadd", "quickadd-meeting", "quickadd-people",
                              "edit",     "detail-delete",    "alert"};

struct Run {
    QStringList lines;
    int status = -1;
    QString errors;
};

// The app started at `wallTime` today's date of the sample day, with `arguments`, in `folder`.
Run snapshot(const QString& wallTime, const QStringList& arguments, const QString& folder) {
    QProcess app;
    app.setWorkingDirectory(folder);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // libfaketime is loaded before the sanitizer's runtime, which would otherwise refuse to start.
    env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":verify_asan_link_order=0");
    // The clock starts there and runs on; Qt's timers keep the real monotonic clock.
    env.insert("FAKETIME_DONT_FAKE_MONOTONIC", "1");
    app.setProcessEnvironment(env);
    app.start(QStringLiteral("faketime"),
              QStringList{"-f", "@2026-03-04 " + wallTime, qEnvironmentVariable("VORRINDEL_BINARY")} +
                  arguments);
    Run run;
    if (!app.waitForFinished(60000)) {
        app.kill();
        app.waitForFinished();
        return run;
    }
    run.lines = QString::fromUtf8(app.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    run.errors = QString::fromUtf8(app.readAllStandardError());
    run.status = app.exitStatus() == QProcess::NormalExit ? app.exitCode() : -1;
    return run;
}

QStringList wroteLines(const QString& folder, const QStringList& shots) {
    QStringList lines;
    for (const QString& shot : shots)
        lines << "snapshot: wrote " + folder + '/' + shot + ".png";
    return lines << "snapshot: wrote settings-google.png";
}

QStringList pngFiles(const QString& folder) {
    return QDir(folder).entryList({"*.png"}, QDir::Files, QDir::Name);
}

QStringList fileNames(QStringList shots) {
    for (QString& shot : shots)
        shot += ".png";
    shots << "settings-google.png";
    shots.sort();
    return shots;
}

QString rgb(const QImage& image, int x, int y) {
    const QColor c = image.pixelColor(x, y);
    return QStringLiteral("%1,%2,%3").arg(c.red()).arg(c.green()).arg(c.blue());
}

} // namespace

class TestSnapshot : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(!QStandardPaths::findExecutable("faketime").isEmpty(),
                 "faketime is not installed (scripts/deps.sh --tests installs it)");
        QVERIFY(QFile::exists(qEnvironmentVariable("VORRINDEL_BINARY")));
    }
    void init() { m_home = std::make_unique<TempHome>(); }
    void cleanup() { m_home.reset(); }

    // A morning run into a relative folder whose name looks like an option: every picture, in order,
    // under its absolute path, at twice its size in points, on the grey desktop with the panel's black
    // hanging from the top bar, and each shot's own state showing.
    void aMorningRunWritesEveryPicture() {
        const QString folder = m_home->path() + "/--shots";
        const Run run = snapshot("10:00:00", {"--snapshot", "--shots"}, m_home->path());
        QVERIFY2(run.status == 0, qPrintable(run.errors));
        QVERIFY2(!run.errors.contains("Symbol: no picture"), qPrintable(run.errors));
        QCOMPARE(run.lines, wroteLines(folder, allShots));
        QCOMPARE(pngFiles(folder), fileNames(allShots));

        const QMap<QString, QSize> sizes = {
            {"peek", {1360, 146}}, {"alert", {1434, 310}}, {"settings-google", {1120, 1040}}};
        QList<QImage> panels;
        for (const QString& name : allShots + QStringList{"settings-google"}) {
            const QImage image(folder + '/' + name + ".png");
            QCOMPARE(image.size(), sizes.value(name, {1424, 972}));
            if (name == "settings-google")
                continue;
            QCOMPARE(rgb(image, 2, image.height() - 3), "209,209,209"); // the desktop
            QCOMPARE(rgb(image, 2, 2), "237,237,237");                  // the top bar
            QCOMPARE(rgb(image, image.width() / 2, 10), "0,0,0");       // the panel where the notch is
            if (!sizes.contains(name)) {
                QVERIFY2(!panels.contains(image), qPrintable(name + " looks like an earlier picture"));
                panels << image;
            }
        }
    }

    // Late in the evening the later sample events fall on the next day: from 22:00 no event today has
    // guests (the detail shows the agenda, the edit and the delete question are left out), from 23:52
    // no meeting with a link is still to come today (no alert).
    void lateRunsLeaveOutWhatTheDayLacks_data() {
        QTest::addColumn<QString>("time");
        QTest::addColumn<QStringList>("shots");
        QStringList evening = allShots;
        evening.removeAll("edit");
        evening.removeAll("detail-delete");
        QTest::newRow("22:30") << "22:30:00" << evening;
        evening.removeAll("alert");
        QTest::newRow("23:55") << "23:55:00" << evening;
    }
    void lateRunsLeaveOutWhatTheDayLacks() {
        QFETCH(QString, time);
        QFETCH(QStringList, shots);
        const QString folder = m_home->path() + "/out";
        const Run run = snapshot(time, {"--snapshot", folder}, m_home->path());
        QVERIFY2(run.status == 0, qPrintable(run.errors));
        QCOMPARE(run.lines, wroteLines(folder, shots));
        QCOMPARE(pngFiles(folder), fileNames(shots));
    }

    // Pictures that cannot be written are each named, the others are still made, and the run fails.
    void picturesThatCannotBeWrittenFailTheRun_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QStringList>("failing");
        // The folder's parent is a file, so the folder cannot be made.
        QTest::newRow("no folder") << "taken/out" << (allShots + QStringList{"settings-google"});
        // A folder already has the picture's name.
        QTest::newRow("one picture") << "out" << QStringList{"alert"};
    }
    void picturesThatCannotBeWrittenFailTheRun() {
        QFETCH(QString, folder);
        QFETCH(QStringList, failing);
        QFile taken(m_home->path() + "/taken");
        QVERIFY(taken.open(QIODevice::WriteOnly));
        taken.close();
        const QString path = m_home->path() + '/' + folder;
        QDir().mkpath(path + "/alert.png");

        const Run run = snapshot("10:00:00", {"--snapshot", path}, m_home->path());
        QCOMPARE(run.status, 1);
        QStringList expected = wroteLines(path, allShots);
        for (int i = 0; i < expected.size(); ++i) {
            const QString shot = i < allShots.size() ? allShots[i] : QStringLiteral("settings-google");
            if (failing.contains(shot))
                expected[i] = "snapshot: failed to write " + path + '/' + shot + ".png: ";
        }
        QCOMPARE(run.lines.size(), expected.size());
        for (int i = 0; i < expected.size(); ++i)
            QVERIFY2(run.lines[i].startsWith(expected[i]), qPrintable(run.lines[i]));
    }

    // Every picture that cannot be written counts against the run, the settings picture too: with a
    // folder where each file goes, there are as many failures as pictures.
    void everyPictureThatCannotBeWrittenCounts() {
        ViewWorld world;
        const QString path = m_home->path() + "/blocked";
        const QStringList names = fileNames(allShots);
        for (const QString& name : names)
            QVERIFY(QDir().mkpath(path + '/' + name));
        QStringList lines;
        const int failures = Snapshot::render(QDir(path), world.clock.now(), *world.store, *world.settings,
                                              [&](const QString& line) { lines << line; });
        QCOMPARE(lines.filter("snapshot: failed to write ").size(), names.size());
        QCOMPARE(failures, names.size());
    }

    // "--snapshot" without a folder after it is no snapshot: the app starts as usual, and its views
    // stay live (quick add can be typed into, the detail scrolls).
    void withoutAFolderTheAppStartsAsUsual() {
        ProcessArguments::set({"vorrindel", "--debug", "--snapshot"});
        QCOMPARE(Snapshot::runIfRequested(ProcessArguments::all()), std::nullopt);
        QVERIFY(!ProcessArguments::isSnapshotMode());
    }

private:
    std::unique_ptr<TempHome> m_home;
};

QTEST_MAIN(TestSnapshot)
#include "tst_snapshot.moc"
