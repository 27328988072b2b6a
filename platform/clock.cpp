#include "echowatch/platform/clock.h"

namespace platform {

QTime SystemClock::timeOfDay() const noexcept
{
    return QTime::currentTime();
}

std::chrono::system_clock::time_point SystemClock::now() const noexcept
{
    return std::chrono::system_clock::now();
}

} // namespace platform
