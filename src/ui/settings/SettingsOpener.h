#pragma once

// Opens the settings window: created on first use, reused afterwards, brought to the front.
namespace SettingsOpener {
void open();
}
