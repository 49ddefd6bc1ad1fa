// One keystroke in quick add from the key to the repainted panel: the line edit takes the key, the
// model parses the line and recomputes everything it shows, the widgets take the new values, the
// layout settles and the body paints. On the real store with 200 events on the typed day and 500
// people in the directory, as the model's own benchmark. Run it with QT_SCALE_FACTOR=2 for a screen of
// device pixel ratio 2, where every paint covers four times the pixels.
#include "BenchMain.h"
#include "BusyThursday.h"
#include "ui/controls/Motion.h"
#include "ui/notch/NotchState.h"
#include "ui/quickadd/QuickAddView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>

#include <benchmark/benchmark.h>

namespace {

struct World {
    World()
        : state(NotchGeometry{QRectF(0, 0, 1512, 982), QSizeF(180, 32), false}) {
        Motion::setEnabled(false);
        // The expanded panel's body: 540 wide, below a 32-high notch.
        body.setFixedSize(600, 410);
        view = new QuickAddView(state, *busy.env, &body);
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

    BusyThursday::Store busy;
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
    return runBenchmarks<QApplication>(argc, argv);
}
