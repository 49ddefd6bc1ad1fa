// One keystroke in quick add from the key to the repainted panel: the line edit takes the key, the
// model parses the line and recomputes everything it shows, the widgets take the new values, the
// layout settles and the body paints. On the real store with 200 events on the typed day and 500
// people in the directory, as the model's own benchmark. Run it with QT_SCALE_FACTOR=2 for a screen of
// device pixel ratio 2, where every paint covers four times the pixels.
#include "core/model/UserCal.h"
#include "core/quickadd/QuickAddStoreEnv.h"
#include "core/settings/AppSettings.h"
#include "core/settings/SettingsLocations.h"
#include "core/store/EventStore.h"
#include "ui/controls/Motion.h"
#include "ui/notch/NotchState.h"
#include "ui/quickadd/QuickAddView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

const QTimeZone berlin("Europe/Berlin");
constexpr int people = 500;

QDateTime wall(const QDate& day, int hour, int minute) {
    return QDateTime(day, QTime(hour, minute), berlin).toUTC();
}

Attendee guest(int i) {
    Attendee a;
    a.name =
        i == 0 ? QStringLiteral("Ondrea Lindqvist") : QStringLiteral("Person%1 Family%2").arg(i).arg(i % 37);
    a.email = QStringLiteral("person%1@corp.io").arg(i);
    a.status = Attendee::Status::accepted;
    return a;
}

// Thursday 5 March 2026: 200 meetings from 7:00 on, three guests each, naming all 500 people.
QList<CalEvent> busyThursday() {
    QList<CalEvent> events;
    const QDate day(2026, 3, 5);
    for (int i = 0; i < 200; ++i) {
        CalEvent e;
        e.id = QStringLiteral("g:me@corp.io:primary:%1").arg(i);
        e.title = QStringLiteral("Meeting %1").arg(i);
        e.start = wall(day, 7 + (i * 3) / 60, (i * 3) % 60);
        e.end = e.start.addSecs(60 * (15 + i % 31));
        e.source = EventSource::google;
        e.calendarName = QStringLiteral("Work");
        for (int g = 0; g < 3; ++g)
            e.attendees.append(guest((i * 5 + g * 2) % people));
        events.append(e);
    }
    return events;
}

struct World {
    World()
        : state(NotchGeometry{QRectF(0, 0, 1512, 982), QSizeF(180, 32), false}) {
        qputenv("XDG_CONFIG_HOME", (dir.path() + "/config").toUtf8());
        qputenv("XDG_DATA_HOME", (dir.path() + "/data").toUtf8());
        qputenv("XDG_STATE_HOME", (dir.path() + "/state").toUtf8());
        qputenv("VORRINDEL_CALENDARS", (dir.path() + "/calendars").toUtf8());
        settings = std::make_unique<AppSettings>(SettingsLocations::standard());
        UserCal::use(Cal(berlin, QLocale(QLocale::English, QLocale::UnitedStates)));
        EventStore::Environment environment;
        environment.settings = settings.get();
        environment.clock = [] { return wall(QDate(2026, 3, 4), 8, 0); };
        store = std::make_unique<EventStore>(std::move(environment));
        store->installSampleEvents(busyThursday());
        env = std::make_unique<QuickAddStoreEnv>(*store);
        // The expanded panel's body: 540 wide, below a 32-high notch.
        body.setFixedSize(600, 410);
        view = new QuickAddView(state, *env, &body);
        view->setGeometry(30, 32, 540, 410 - 16 - 32);
        body.show();
        state.setQuickAdd(true);
        QCoreApplication::processEvents();
    }

    // One key into the line, and the screen brought up to date: the model's change reaches the
    // widgets at once, then the layout settles and the whole panel repaints (more than the region a
    // keystroke dirties: the figure is an upper bound).
    void key(int key, const QString& text) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QApplication::sendEvent(view->mainField(), &press);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        body.repaint();
    }

    QTemporaryDir dir;
    std::unique_ptr<AppSettings> settings;
    std::unique_ptr<EventStore> store;
    std::unique_ptr<QuickAddStoreEnv> env;
    NotchState state;
    QWidget body;
    QuickAddView* view = nullptr;
};

qreal median(QList<qint64> values) {
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2] / 1e6;
}

// Typing a line from its first letter to its last, each letter repainted; the figure is the median
// keystroke in milliseconds (the iteration time covers the whole line).
void typing(benchmark::State& state, const QString& line) {
    World world;
    QList<qint64> keystrokes;
    QElapsedTimer timer;
    for (auto _ : state) {
        world.view->mainField()->clear();
        for (const QChar c : line) {
            timer.start();
            world.key(c.toUpper().unicode(), QString(c));
            keystrokes << timer.nsecsElapsed();
        }
    }
    if (world.view->mainField()->text() != line)
        state.SkipWithError("the line was not typed");
    state.counters["medianKeystrokeMs"] = median(keystrokes);
}
BENCHMARK_CAPTURE(typing, meetingWithARange, QStringLiteral("Design sync with Ondrea thu 3-4pm"))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(typing, meetingWithoutATime, QStringLiteral("Coffee with Ondrea and person7@corp.io thu"))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(typing, plainEvent, QStringLiteral("Lunch thu 1pm"))->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Motion::setEnabled(false);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
