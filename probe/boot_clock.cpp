#include "echowatch/probe/probe_details.h"

#include <time.h>

namespace probe {

std::chrono::nanoseconds bootClockNow() noexcept
{
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return std::chrono::seconds{now.tv_sec} + std::chrono::nanoseconds{now.tv_nsec};
}

} // namespace probe
