#include "echowatch/records/action_environment.h"

#include "echowatch/history/csv_text.h"
#include "echowatch/probe/status_text.h"

namespace records {

std::vector<std::pair<std::string, std::string>> actionEnvironment(const ActionFacts &facts)
{
    std::vector<std::pair<std::string, std::string>> variables{
        {"ECHOWATCH_STATUS", facts.change == ActionFacts::Change::Down ? "down" : "up"},
        {"ECHOWATCH_HOST", facts.host},
        {"ECHOWATCH_ADDRESS", facts.address},
        {"ECHOWATCH_SINCE", history::LocalTimeText()(facts.since)},
        {"ECHOWATCH_LOST", std::to_string(facts.probesLost)},
        {"ECHOWATCH_CAUSE", std::to_string(facts.cause)},
        {"ECHOWATCH_CAUSE_TEXT", StatusText(facts.cause)},
    };
    if (facts.where)
        variables.emplace_back("ECHOWATCH_WHERE", *facts.where);
    if (facts.pathVerdict)
        variables.emplace_back("ECHOWATCH_PATH", *facts.pathVerdict);
    return variables;
}

} // namespace records
