#include "echowatch/records/action_environment.h"

#include "echowatch/history/csv_text.h"
#include "echowatch/probe/status_text.h"

namespace records {

namespace {

using Variables = std::vector<std::pair<std::string, std::string>>;

const char *statusWord(ActionFacts::Change change)
{
    switch (change) {
    case ActionFacts::Change::Down:
        return "down";
    case ActionFacts::Change::Up:
        return "up";
    case ActionFacts::Change::Slow:
        return "slow";
    case ActionFacts::Change::Normal:
        return "normal";
    }
    return "";
}

void addOutage(Variables &variables, const ActionFacts &facts)
{
    variables.emplace_back("ECHOWATCH_LOST", std::to_string(facts.probesLost));
    variables.emplace_back("ECHOWATCH_CAUSE", std::to_string(facts.cause));
    variables.emplace_back("ECHOWATCH_CAUSE_TEXT", StatusText(facts.cause));
    variables.emplace_back("ECHOWATCH_FLAPPING", facts.flapping ? "1" : "0");
    if (facts.loss)
        variables.emplace_back("ECHOWATCH_LOSS", std::to_string(facts.loss->failed) + "/" +
                                                     std::to_string(facts.loss->window));
    if (facts.where)
        variables.emplace_back("ECHOWATCH_WHERE", *facts.where);
    if (facts.pathVerdict)
        variables.emplace_back("ECHOWATCH_PATH", *facts.pathVerdict);
}

void addRoundTrips(Variables &variables, const ActionFacts::RoundTrips &roundTrips)
{
    variables.emplace_back("ECHOWATCH_PERCENTILE", std::to_string(roundTrips.percentile));
    variables.emplace_back("ECHOWATCH_ROUND_TRIP_MS",
                           history::thousandthsText(roundTrips.microseconds));
    if (roundTrips.usualMicroseconds)
        variables.emplace_back("ECHOWATCH_USUAL_MS",
                               history::thousandthsText(*roundTrips.usualMicroseconds));
}

} // namespace

Variables actionEnvironment(const ActionFacts &facts)
{
    Variables variables{
        {"ECHOWATCH_STATUS", statusWord(facts.change)},
        {"ECHOWATCH_HOST", facts.host},
        {"ECHOWATCH_ADDRESS", facts.address},
        {"ECHOWATCH_SINCE", history::LocalTimeText()(facts.since)},
    };
    if (facts.roundTrips)
        addRoundTrips(variables, *facts.roundTrips);
    else
        addOutage(variables, facts);
    return variables;
}

} // namespace records
