#pragma once

#include "support/XvfbServer.h"

#include <QTemporaryDir>

// Xorg with the dummy video driver: one screen whose outputs (DUMMY0 to DUMMY15) are switched on,
// off and moved with xrandr as real monitors are, RandR's news and all. DUMMY0 starts on alone.
// Needs no graphics card, input device or console of its own.
class XorgServer : public XServer {
public:
    bool start();

private:
    QTemporaryDir m_dir; // its configuration and log
};
