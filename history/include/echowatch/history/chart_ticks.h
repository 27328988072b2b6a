#pragma once

#include "echowatch/history/probe_sample.h"

namespace history {

// The labelled marks of the round-trip axis: 0, step, 2 step ... up to the
// top of the scale, four to six of them, the step 1, 2 or 5 times a power
// of ten so that the labels read as round numbers.
struct RoundTripTicks
{
    double step = 1;
    // Digits after the decimal point that show every label exactly.
    int decimals = 0;
    int count = 0;

    double top() const noexcept { return step * (count - 1); }
};

// The ticks for answers up to the longest; steps of at least a
// microsecond, the kernel's resolution, when nothing took longer.
RoundTripTicks roundTripTicks(double longestMilliseconds) noexcept;

// The labelled marks of the time axis: first, first + step ... at round
// times of the local clock (whole seconds, minutes, hours or days), at
// most maximumCount of them inside the span, its ends included.
struct ClockTicks
{
    Milliseconds first = 0;
    Milliseconds step = 0;
    int count = 0;
};

// utcOffset is what the local clock adds to UTC, so that hours and days
// start where the reader's clock says they do.
ClockTicks clockTicks(TimeSpan span, Milliseconds utcOffset, int maximumCount) noexcept;

} // namespace history
