#pragma once

#include "core/model/UserFacingError.h"

// A calendar file that could not be written or removed (a full disk, a folder made read-only, an
// item the app cannot read safely).
class CalendarFileError : public UserFacingError {
public:
    using UserFacingError::UserFacingError;
};
