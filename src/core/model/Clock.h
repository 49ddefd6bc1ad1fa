#pragma once

#include <QDateTime>

#include <functional>

// The current instant, injectable so that time-dependent code can be tested without waiting.
using Clock = std::function<QDateTime()>;

// The real clock: the current instant in UTC.
Clock systemClock();
