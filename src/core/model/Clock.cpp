#include "core/model/Clock.h"

Clock systemClock() {
    return [] { return QDateTime::currentDateTimeUtc(); };
}
