#pragma once

#include "echowatch/history/probe_sample.h"
#include "echowatch/probe/echo_status.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace records {

// What a user's command is told when the host goes down or comes back.
struct ActionFacts
{
    enum class Change
    {
        Down,
        Up,
    };
    Change change = Change::Down;
    std::string host;
    std::string address;
    // The first failed probe: when it was sent and what it said.
    history::Milliseconds since = 0;
    EchoStatus cause = 0;
    int probesLost = 0;
    // Where the path to the host was found broken, when that was traced:
    // the whole verdict, its class first.
    std::optional<std::string> pathVerdict;
    // Whose side the outage is on ("this computer", "local network",
    // "beyond the gateway", "the host", "not watched"), when that was found.
    std::optional<std::string> where = std::nullopt;
};

// The variables added to the command's environment, in a fixed order:
// ECHOWATCH_STATUS (down or up), ECHOWATCH_HOST, ECHOWATCH_ADDRESS,
// ECHOWATCH_SINCE (local ISO 8601 time), ECHOWATCH_LOST,
// ECHOWATCH_CAUSE and ECHOWATCH_CAUSE_TEXT (the failure's status code and
// line), ECHOWATCH_WHERE where the outage's class was found, and
// ECHOWATCH_PATH where there is a path verdict.
std::vector<std::pair<std::string, std::string>> actionEnvironment(const ActionFacts &facts);

} // namespace records
