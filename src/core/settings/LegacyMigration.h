#pragma once

#include "core/settings/SettingsLocations.h"

class QSettings;

// Carries the settings and the credential folder over from the product's former name, Saffrick,
// once: the first start under the new name reads the former values.
namespace LegacyMigration {

// The key that records that the migration ran (whatever its value).
inline constexpr const char* flagKey = "migratedFromSaffrick";

// Does nothing when `settings` holds the flag. Otherwise stores the flag first, then copies each of
// the ten former keys that `settings` lacks from the former preferences, unchanged, and copies the
// former folder to the app folder when nothing exists at the app folder's path: its folders and
// regular files only (the credential files come over 0600, other files keep their permissions);
// links and special files stay behind and are named in the debug log. Never fails visibly.
void run(QSettings& settings, const SettingsLocations& locations);

} // namespace LegacyMigration
