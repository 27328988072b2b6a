#include "echowatch/platform/clock.h"

namespace platform {

QTime SystemClock::timeOfDay() const noexcept
{
    return QTime::currentTime();
}

} // namespace platform
