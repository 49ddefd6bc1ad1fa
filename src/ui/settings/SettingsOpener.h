#pragma once

class QWidget;

// Opens the settings window "Vorrindel Settings" (560 × 520, closable and minimisable, not
// resizable) with the settings view on the app's settings and event store: created and centred on
// first use, reused afterwards where the user left it, brought to the front. Closing it only hides
// it; the app keeps running. An expanded panel collapses first.
namespace SettingsOpener {

void open();
// The window, once the first open() made it; null before.
QWidget* window();

} // namespace SettingsOpener
