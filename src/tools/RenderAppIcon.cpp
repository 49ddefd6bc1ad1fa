// Renders the app icon to a PNG file: RenderAppIcon <file.png> <side>. The build runs it so that the
// shipped picture always follows the drawing in AppIcon.
#include "ui/controls/AppIcon.h"

#include <QString>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    const int side = argc == 3 ? std::atoi(argv[2]) : 0;
    if (side <= 0) {
        std::fputs("usage: RenderAppIcon <file.png> <side>\n", stderr);
        return 2;
    }
    if (!AppIcon::tile(side).save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "RenderAppIcon: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
