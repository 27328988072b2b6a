#pragma once

#include "echowatch/host/host_events.h"

#include <QString>

namespace platform {
struct Notification;
} // namespace platform

namespace alerts {

// A round trip as the bubbles say it: whole milliseconds from 10 ms on,
// tenths below, hundredths below 1 ms ("182 ms", "4.7 ms", "0.05 ms").
QString roundTripWords(std::int64_t microseconds);

// "203.0.113.10 is slow": "95% of answers within 182 ms over the last
// minute, usually 47 ms."
platform::Notification slowNotification(const host::SlowStarted &slow);
// "203.0.113.10 is normal again": the percentile now, and how long it was
// slow.
platform::Notification normalNotification(const host::SlowEnded &normal);
// "203.0.113.10 is flapping": how many downs since when, and that nothing
// more is told until it settles. soundName as the down bubble's.
platform::Notification flappingNotification(const host::FlappingStarted &flapping,
                                            const QString &soundName = {});
// "203.0.113.10 has settled: up" (or down), after how many downs in how
// long.
platform::Notification settledNotification(const host::FlappingSettled &settled,
                                           const QString &soundName = {});

} // namespace alerts
