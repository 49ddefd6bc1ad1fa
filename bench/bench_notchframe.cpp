// One frame of the panel opening, at its largest: the silhouette's outline, the window mask that
// stands in for a compositor, the clip of the hosted content and the repaint of the whole 672 × 446
// window, at device pixel ratio 1 and 2. The spring runs at 60 frames a second when a frame takes
// well under 16 ms; the target is 4 ms.
#include "core/settings/AppSettings.h"
#include "core/settings/SettingsLocations.h"
#include "core/store/EventStore.h"
#include "ui/controls/Motion.h"
#include "ui/notch/NotchShape.h"
#include "ui/notch/NotchState.h"
#include "ui/panel/NotchRootView.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include "BenchMain.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

const NotchGeometry laptop{QRectF(0, 0, 1512, 982), QSizeF(180, 24), false};

struct Panel {
    Panel() {
        qputenv("XDG_CONFIG_HOME", (dir.path() + "/config").toUtf8());
        qputenv("XDG_DATA_HOME", (dir.path() + "/data").toUtf8());
        qputenv("XDG_STATE_HOME", (dir.path() + "/state").toUtf8());
        qputenv("VORRINDEL_CALENDARS", (dir.path() + "/calendars").toUtf8());
        settings = std::make_unique<AppSettings>(SettingsLocations::standard());
        EventStore::Environment environment;
        environment.settings = settings.get();
        store = std::make_unique<EventStore>(std::move(environment));
        Motion::setEnabled(false);
        view = std::make_unique<NotchRootView>(state, *store, *settings);
        // Some content, so that it is clipped and painted as the real panel's is.
        auto* content = new QWidget;
        auto* rows = new QVBoxLayout(content);
        for (int i = 0; i < 8; ++i)
            rows->addWidget(
                new QLabel(QStringLiteral("09:%1  Weekly planning with the design team").arg(i * 5)));
        view->setModeContent(NotchMode::expanded, content);
        view->resize(672, 446);
        state.setExpanded(true);
    }

    QTemporaryDir dir;
    std::unique_ptr<AppSettings> settings;
    std::unique_ptr<EventStore> store;
    NotchState state{laptop};
    std::unique_ptr<NotchRootView> view;
};

Panel& panel() {
    static Panel* const shared = new Panel;
    return *shared;
}

void BM_OpenFrame(benchmark::State& bench) {
    Panel& p = panel();
    const qreal ratio = qreal(bench.range(0));
    QImage frame(QSize(672, 446) * ratio, QImage::Format_ARGB32_Premultiplied);
    frame.setDevicePixelRatio(ratio);
    const NotchSilhouette from = NotchSilhouette::forMode(laptop.notchSize, NotchMode::collapsed);
    const NotchSilhouette to = NotchSilhouette::forMode(laptop.notchSize, NotchMode::expanded);
    const QEasingCurve spring = Motion::spring();
    qreal progress = 0;
    for (auto _ : bench) {
        // The outline of a frame near the end of the spring, and the regions cut from it.
        progress = progress >= 1 ? 0.5 : progress + 0.01;
        const NotchSilhouette s = NotchSilhouette::interpolate(from, to, spring.valueForProgress(progress));
        const QPainterPath path =
            s.shape().path(QRectF((672 - s.size.width()) / 2, 0, s.size.width(), s.size.height()));
        const QRegion mask(path.toFillPolygon().toPolygon());
        const QRegion clip(path.translated(-36, 0).toFillPolygon().toPolygon());
        benchmark::DoNotOptimize(mask.rectCount() + clip.rectCount());
        frame.fill(Qt::transparent);
        p.view->render(&frame, QPoint(), QRegion(), QWidget::DrawChildren);
    }
    bench.SetLabel(ratio > 1 ? "scale 2" : "scale 1");
}
BENCHMARK(BM_OpenFrame)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return runBenchmarks<QApplication>(argc, argv);
}
