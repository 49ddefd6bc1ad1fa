// A developer's picture book, not a test: renders the panel in each of its states at scale 2 (and
// the expanded panel at scale 1) to PNG files, for looking at. Usage: panel_gallery OUTPUT_FOLDER
#include "ViewWorld.h"

#include "core/remote/GoogleRecords.h"
#include "support/TestEvents.h"
#include "ui/notch/NotchState.h"
#include "ui/panel/DayList.h"
#include "ui/panel/ExpandedView.h"

#include <QApplication>
#include <QDir>
#include <QPainter>

#include <cstdio>

namespace {

QString folder;

void save(const ViewWorld& world, const QString& name, qreal scale = 2) {
    const QString path = QDir(folder).filePath(name + QStringLiteral(".png"));
    QImage image = world.render(scale);
    // On the desktop's grey, so that the silhouette's edges and the shadow show.
    QImage backdrop(image.size(), QImage::Format_ARGB32_Premultiplied);
    backdrop.setDevicePixelRatio(scale);
    backdrop.fill(QColor(70, 74, 82));
    QPainter(&backdrop).drawImage(0, 0, image);
    backdrop.save(path);
    std::printf("%s\n", qPrintable(path));
}

void expand(ViewWorld& world) {
    world.state->setExpanded(true);
    world.fit();
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: panel_gallery OUTPUT_FOLDER\n");
        return 2;
    }
    folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);

    {
        ViewWorld world;
        save(world, QStringLiteral("collapsed"));
        world.useSampleDay();
        world.fit();
        save(world, QStringLiteral("peek"));
        world.clock.advance(9 * 60);
        world.store->tick();
        world.fit();
        save(world, QStringLiteral("peek-running"));
    }
    {
        ViewWorld world;
        world.useSampleDay();
        const CalEvent standup = world.store->events(world.clock.now()).at(2);
        world.store->showAlert({standup, MeetingAlert::Kind::imminent, world.clock.now()});
        world.fit();
        save(world, QStringLiteral("alert"));
        world.store->dismissAlert();
        CalEvent allDay = world.store->events(world.clock.now()).at(0);
        world.store->showAlert({allDay, MeetingAlert::Kind::starting, world.clock.now()});
        world.fit();
        save(world, QStringLiteral("alert-allday"));
    }
    {
        ViewWorld world;
        world.useSampleDay();
        expand(world);
        save(world, QStringLiteral("expanded"));
        save(world, QStringLiteral("expanded@1x"), 1);
        world.store->select(world.clock.now().addDays(1));
        save(world, QStringLiteral("expanded-empty-day"));
        world.store->select(world.clock.now());
        world.store->showToast(QStringLiteral("Added to Work"));
        save(world, QStringLiteral("expanded-toast"));
    }
    {
        ViewWorld world;
        world.useBusyDay(30);
        expand(world);
        save(world, QStringLiteral("expanded-30"));
        world.store->setGoogleError(QStringLiteral("Google is rate-limiting — try again in a moment"));
        save(world, QStringLiteral("expanded-error"));
    }
    {
        ViewWorld world;
        GoogleConfig google;
        google.clientID = QStringLiteral("client");
        google.clientSecret = QStringLiteral("secret");
        world.settings->setGoogle(google);
        world.useSampleDay();
        expand(world);
        save(world, QStringLiteral("expanded-google-card"));
        world.store->setConnectingGoogle(true);
        save(world, QStringLiteral("expanded-google-connecting"));
        world.store->setConnectingGoogle(false);
        GoogleAccount account;
        account.email = QStringLiteral("maren@example.com");
        google.accounts = {account};
        world.settings->setGoogle(google);
        world.store->setGoogleLastSync(world.clock.now().addSecs(-130));
        save(world, QStringLiteral("expanded-synced"));
    }
    {
        ViewWorld world(ViewWorld::Folder::missing);
        expand(world);
        save(world, QStringLiteral("access-undecided"));
    }
    {
        ViewWorld world(ViewWorld::Folder::unreadable);
        expand(world);
        save(world, QStringLiteral("access-denied"));
    }
    {
        ViewWorld world;
        world.useSampleDay();
        expand(world);
        world.state->setSelectedEvent(world.store->events(world.clock.now()).at(3));
        save(world, QStringLiteral("expanded-detail"));
    }
    {
        ViewWorld world;
        world.useSampleDay();
        expand(world);
        world.state->setQuickAdd(true);
        save(world, QStringLiteral("expanded-quickadd"));
    }
    {
        ViewWorld world(ViewWorld::Folder::readable, QSizeF(185, 33));
        world.useSampleDay();
        expand(world);
        save(world, QStringLiteral("expanded-notch33"));
    }
    return 0;
}
