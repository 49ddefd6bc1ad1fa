#pragma once

// Opens the settings window "Vorrindel Settings" (560 × 520, closable and minimisable, not
// resizable): created and centred on first use, reused afterwards, brought to the front. Closing it
// only hides it; the app keeps running. An expanded panel collapses first.
namespace SettingsOpener {
void open();
}
