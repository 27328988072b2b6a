#pragma once

#include "echowatch/history/probe_sample.h"
#include "echowatch/probe/echo_status.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace records {

// What a user's command is told when the host goes down or comes back, or
// becomes slow or normal again.
struct ActionFacts
{
    enum class Change
    {
        Down,
        Up,
        Slow,
        Normal,
    };
    // The failures among the last probes, for a down the loss rule called.
    struct Loss
    {
        int failed = 0;
        int window = 0;
    };
    // A percentile of the last minute's answers, and what is usual.
    struct RoundTrips
    {
        int percentile = 0;
        std::int64_t microseconds = 0;
        std::optional<std::int64_t> usualMicroseconds;
    };

    Change change = Change::Down;
    std::string host;
    std::string address;
    // Down and up: the first failed probe, when it was sent and what it
    // said. Slow and normal: when the slow period started.
    history::Milliseconds since = 0;
    EchoStatus cause = 0;
    int probesLost = 0;
    // Where the path to the host was found broken, when that was traced:
    // the whole verdict, its class first.
    std::optional<std::string> pathVerdict;
    std::optional<Loss> loss;
    // The down that tells, once, that the host flaps.
    bool flapping = false;
    std::optional<RoundTrips> roundTrips;
    // Whose side the outage is on ("this computer", "local network",
    // "beyond the gateway", "the host", "not watched"), when that was found.
    std::optional<std::string> where = std::nullopt;
};

// The variables added to the command's environment, in a fixed order:
// ECHOWATCH_STATUS (down, up, slow or normal), ECHOWATCH_HOST,
// ECHOWATCH_ADDRESS, ECHOWATCH_SINCE (local ISO 8601 time); for down and
// up ECHOWATCH_LOST, ECHOWATCH_CAUSE and ECHOWATCH_CAUSE_TEXT (the
// failure's status code and line), ECHOWATCH_FLAPPING (1 or 0),
// ECHOWATCH_LOSS for a down by loss ("failed/window"), ECHOWATCH_WHERE
// where the outage's class was found and ECHOWATCH_PATH where there is a
// path verdict; for slow and normal ECHOWATCH_PERCENTILE,
// ECHOWATCH_ROUND_TRIP_MS and, where known, ECHOWATCH_USUAL_MS.
std::vector<std::pair<std::string, std::string>> actionEnvironment(const ActionFacts &facts);

} // namespace records
