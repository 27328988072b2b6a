#include "echowatch/history/chart_ticks.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace history {

namespace {

constexpr int MostRoundTripTicks = 6;
constexpr double SmallestScaleMilliseconds = 0.005;
// A rounding error of the division must not add a tick to a scale that
// ends exactly on one.
constexpr double Tolerance = 1e-9;

constexpr Milliseconds Second = 1'000;
constexpr Milliseconds Minute = 60 * Second;
constexpr Milliseconds Hour = 60 * Minute;
constexpr Milliseconds Day = 24 * Hour;

// Steps a clock face is read in; past the last, it doubles.
constexpr std::array<Milliseconds, 24> ClockSteps{
    Second, 2 * Second, 3 * Second, 5 * Second, 10 * Second, 15 * Second, 20 * Second, 30 * Second,
    Minute, 2 * Minute, 3 * Minute, 5 * Minute, 10 * Minute, 15 * Minute, 20 * Minute, 30 * Minute,
    Hour,   2 * Hour,   3 * Hour,   4 * Hour,   6 * Hour,    12 * Hour,   Day,         2 * Day,
};

// The first multiple of the step, counted from local midnight of 1970,
// at or after the time.
Milliseconds firstRoundTime(Milliseconds time, Milliseconds step, Milliseconds utcOffset)
{
    const Milliseconds local = time + utcOffset;
    Milliseconds remainder = local % step;
    if (remainder < 0)
        remainder += step;
    return remainder == 0 ? time : time + (step - remainder);
}

ClockTicks ticksWithStep(TimeSpan span, Milliseconds step, Milliseconds utcOffset)
{
    const Milliseconds first = firstRoundTime(span.from, step, utcOffset);
    const Milliseconds count = first > span.to ? 0 : (span.to - first) / step + 1;
    return ClockTicks{first, step, static_cast<int>(std::min<Milliseconds>(count, 1'000'000))};
}

} // namespace

RoundTripTicks roundTripTicks(double longestMilliseconds) noexcept
{
    const double longest = std::max(longestMilliseconds, SmallestScaleMilliseconds);
    // Start a decade below, where every step is too small, and take the
    // first that needs no more than the ticks there is room for.
    int exponent = static_cast<int>(std::floor(std::log10(longest))) - 1;
    for (;; ++exponent) {
        for (const int mantissa : {1, 2, 5}) {
            const double step = mantissa * std::pow(10.0, exponent);
            const double intervals = std::ceil(longest / step - Tolerance);
            if (intervals <= MostRoundTripTicks - 1)
                return RoundTripTicks{step, std::max(0, -exponent),
                                      static_cast<int>(intervals) + 1};
        }
    }
}

ClockTicks clockTicks(TimeSpan span, Milliseconds utcOffset, int maximumCount) noexcept
{
    if (span.to <= span.from || maximumCount < 1)
        return ClockTicks{};
    Milliseconds step = ClockSteps.front();
    for (std::size_t index = 0;; ++index) {
        step = index < ClockSteps.size() ? ClockSteps[index] : step * 2;
        const ClockTicks ticks = ticksWithStep(span, step, utcOffset);
        if (ticks.count <= maximumCount)
            return ticks;
    }
}

} // namespace history
