#pragma once

#include "core/model/UserFacingError.h"

#include <QString>

// Starting the app at login, through an XDG autostart entry (a desktop entry in
// $XDG_CONFIG_HOME/autostart) that the session starts when the user logs in.
class LaunchAtLogin {
public:
    LaunchAtLogin(QString autostartFile, QString executable);

    // The entry exists and is not switched off (Hidden=true, or the GNOME session's own switch).
    bool isEnabled() const;
    // Writes or removes the entry. Throws LaunchAtLoginError when that fails; the entry is then left
    // as it was.
    void setEnabled(bool on);

private:
    QString m_file;
    QString m_executable;
};

class LaunchAtLoginError : public UserFacingError {
public:
    using UserFacingError::UserFacingError;
};
