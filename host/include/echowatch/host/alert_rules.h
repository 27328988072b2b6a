#pragma once

#include <chrono>

namespace host {

// Down by loss: the failures among the last `window` probes sent reach
// raisePercent of the window; up again once they are at most clearPercent
// of it. The two levels apart keep a host whose loss hovers at one level
// from flipping at every probe.
struct LossRule
{
    static constexpr int DefaultWindow = 50;

    // 0: the rule is off.
    int raisePercent = 0;
    int clearPercent = 0;
    int window = DefaultWindow;

    bool on() const noexcept { return raisePercent > 0; }
    bool operator==(const LossRule &) const = default;
};

// Slow: the percentile of the last minute's answers is over a round trip
// for a full minute; normal again once it is not for a full minute.
struct SlowRule
{
    static constexpr int DefaultPercentile = 95;
    static constexpr std::chrono::milliseconds Span{60'000};

    // 0: the rule is off.
    int overMilliseconds = 0;
    int percentile = DefaultPercentile;

    bool on() const noexcept { return overMilliseconds > 0; }
    bool operator==(const SlowRule &) const = default;
};

// Flapping: more than `limit` downs within `windowMinutes`. It is told
// once; the downs and ups after it are not, until the host has stayed up
// (or down) for the window.
struct FlapRule
{
    static constexpr int DefaultLimit = 5;
    static constexpr int DefaultWindowMinutes = 10;

    // 0: the rule is off.
    int limit = DefaultLimit;
    int windowMinutes = DefaultWindowMinutes;

    bool on() const noexcept { return limit > 0; }
    std::chrono::milliseconds window() const noexcept { return std::chrono::minutes(windowMinutes); }
    bool operator==(const FlapRule &) const = default;
};

// What the host monitor calls down, up, slow, normal and flapping: the
// command line sets it at start, "Alert settings…" for the window's life.
struct AlertRules
{
    static constexpr int DefaultDownAfter = 3;

    // Failed probes in a row that make the host down.
    int downAfter = DefaultDownAfter;
    LossRule loss;
    SlowRule slow;
    FlapRule flap;

    bool operator==(const AlertRules &) const = default;
};

} // namespace host
