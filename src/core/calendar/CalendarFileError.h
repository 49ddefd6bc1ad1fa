#pragma once

#include "core/model/UserFacingError.h"

// A calendar file that could not be written or removed (a full disk, a folder made read-only, an
// item the app cannot read safely).
class CalendarFileError : public UserFacingError {
public:
    using UserFacingError::UserFacingError;
};

// A calendar item that did not answer within the time one item may take (a stalled network mount, a
// cloud folder fetching it on demand): whatever needed it was left undone, and nothing was written.
class ItemTimeoutError : public CalendarFileError {
public:
    using CalendarFileError::CalendarFileError;
};
