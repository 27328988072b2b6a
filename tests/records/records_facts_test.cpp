// The facts a command is given, the lines of the live log, and the look-up
// of a host name.
#include "echowatch/records/action_environment.h"
#include "echowatch/records/host_resolution.h"
#include "echowatch/records/log_line.h"

#include "echowatch/probe/status_text.h"

#include <gtest/gtest.h>

namespace {

using Variables = std::vector<std::pair<std::string, std::string>>;

// 2027-01-15T08:00:00.123Z
constexpr history::Milliseconds SomeMorning = 1'800'000'000'123;

TEST(ActionEnvironment, DownAndUpWithAndWithoutAPath)
{
    records::ActionFacts facts;
    facts.host = "router.lan";
    facts.address = "192.0.2.1";
    facts.since = SomeMorning;
    facts.cause = 11010;
    facts.probesLost = 3;
    const Variables down = records::actionEnvironment(facts);
    const Variables expected{
        {"ECHOWATCH_STATUS", "down"},
        {"ECHOWATCH_HOST", "router.lan"},
        {"ECHOWATCH_ADDRESS", "192.0.2.1"},
        {"ECHOWATCH_SINCE", "2027-01-15T08:00:00.123+00:00"},
        {"ECHOWATCH_LOST", "3"},
        {"ECHOWATCH_CAUSE", "11010"},
        {"ECHOWATCH_CAUSE_TEXT", StatusText(11010)},
        {"ECHOWATCH_FLAPPING", "0"},
    };
    EXPECT_EQ(down, expected);

    facts.change = records::ActionFacts::Change::Up;
    facts.pathVerdict = "lost after 198.51.100.1";
    const Variables up = records::actionEnvironment(facts);
    ASSERT_EQ(up.size(), expected.size() + 1);
    EXPECT_EQ(up.front().second, "up");
    EXPECT_EQ(up.back(),
              (std::pair<std::string, std::string>{"ECHOWATCH_PATH", "lost after 198.51.100.1"}));
}

// A down by loss that starts the flapping, and a slow period's turns,
// with and without what is usual.
TEST(ActionEnvironment, LossFlappingAndSlowness)
{
    records::ActionFacts facts;
    facts.host = facts.address = "192.0.2.1";
    facts.since = SomeMorning;
    facts.loss = records::ActionFacts::Loss{10, 50};
    facts.flapping = true;
    const Variables down = records::actionEnvironment(facts);
    ASSERT_EQ(down.size(), 9U);
    EXPECT_EQ(down[7], (std::pair<std::string, std::string>{"ECHOWATCH_FLAPPING", "1"}));
    EXPECT_EQ(down[8], (std::pair<std::string, std::string>{"ECHOWATCH_LOSS", "10/50"}));

    facts = {};
    facts.change = records::ActionFacts::Change::Slow;
    facts.host = facts.address = "203.0.113.10";
    facts.since = SomeMorning;
    facts.roundTrips = records::ActionFacts::RoundTrips{95, 182'000, 47'250};
    const Variables expected{
        {"ECHOWATCH_STATUS", "slow"},
        {"ECHOWATCH_HOST", "203.0.113.10"},
        {"ECHOWATCH_ADDRESS", "203.0.113.10"},
        {"ECHOWATCH_SINCE", "2027-01-15T08:00:00.123+00:00"},
        {"ECHOWATCH_PERCENTILE", "95"},
        {"ECHOWATCH_ROUND_TRIP_MS", "182.000"},
        {"ECHOWATCH_USUAL_MS", "47.250"},
    };
    EXPECT_EQ(records::actionEnvironment(facts), expected);
    facts.change = records::ActionFacts::Change::Normal;
    facts.roundTrips->usualMicroseconds.reset();
    const Variables normal = records::actionEnvironment(facts);
    ASSERT_EQ(normal.size(), expected.size() - 1);
    EXPECT_EQ(normal.front().second, "normal");
}

// The class alone, then the whole verdict: a command can tell them apart
// without reading words meant for a person.
TEST(ActionEnvironment, TheClassBeforeTheVerdict)
{
    records::ActionFacts facts;
    facts.host = facts.address = "203.0.113.10";
    facts.since = SomeMorning;
    facts.cause = 11010;
    facts.probesLost = 3;
    facts.pathVerdict = "local network: gateway 192.0.2.1 does not answer";
    facts.where = "local network";
    const Variables variables = records::actionEnvironment(facts);
    ASSERT_GE(variables.size(), 2u);
    EXPECT_EQ(variables[variables.size() - 2],
              (std::pair<std::string, std::string>{"ECHOWATCH_WHERE", "local network"}));
    EXPECT_EQ(variables.back(),
              (std::pair<std::string, std::string>{
                  "ECHOWATCH_PATH", "local network: gateway 192.0.2.1 does not answer"}));
    facts.pathVerdict.reset();
    EXPECT_EQ(records::actionEnvironment(facts).back().first, "ECHOWATCH_WHERE");
}

struct LineRow
{
    const char *name;
    records::LoggedProbe probe;
    std::string csv;
    std::string json;
};

std::vector<LineRow> lineRows()
{
    const std::string timedOut = StatusText(11010);
    return {
        {"answered",
         {"127.0.0.1", "127.0.0.1", SomeMorning, 0, 1234, 32},
         "2027-01-15T08:00:00.123+00:00,127.0.0.1,127.0.0.1,0," + StatusText(0) + ",1.234,32\r\n",
         "{\"time\":\"2027-01-15T08:00:00.123+00:00\",\"host\":\"127.0.0.1\",\"address\":"
         "\"127.0.0.1\",\"status\":0,\"status_text\":\"" +
             StatusText(0) + "\",\"rtt_ms\":1.234,\"bytes\":32}\n"},
        {"timed out, named",
         {"router.lan", "192.0.2.1", SomeMorning, 11010, -1, 0},
         "2027-01-15T08:00:00.123+00:00,router.lan,192.0.2.1,11010," + timedOut + ",,0\r\n",
         "{\"time\":\"2027-01-15T08:00:00.123+00:00\",\"host\":\"router.lan\",\"address\":"
         "\"192.0.2.1\",\"status\":11010,\"status_text\":\"" +
             timedOut + "\",\"rtt_ms\":null,\"bytes\":0}\n"},
        {"hostile text in the box",
         {"a,\"b\"\n", "x\\\x01\xff\xc3\xa9", SomeMorning, -1, -1, 0},
         "2027-01-15T08:00:00.123+00:00,\"a,\"\"b\"\"\n\",x\\\x01\xff\xc3\xa9,-1," +
             StatusText(-1) + ",,0\r\n",
         "{\"time\":\"2027-01-15T08:00:00.123+00:00\",\"host\":\"a,\\\"b\\\"\\n\",\"address\":"
         "\"x\\\\\\u0001\\ufffd\xc3\xa9\",\"status\":-1,\"status_text\":\"" +
             StatusText(-1) + "\",\"rtt_ms\":null,\"bytes\":0}\n"},
    };
}

TEST(LogLine, CsvAndJsonLines)
{
    for (const LineRow &row : lineRows()) {
        SCOPED_TRACE(row.name);
        std::string csv;
        records::LogLineWriter(records::LogFormat::Csv).append(csv, row.probe);
        EXPECT_EQ(csv, row.csv);
        std::string json;
        records::LogLineWriter(records::LogFormat::JsonLines).append(json, row.probe);
        EXPECT_EQ(json, row.json);
    }
}

// Names that may reach DNS are looked up only where hosts_file.sh gives the
// resolver a hosts file and a loopback name server of its own.
TEST(HostResolution, LocalhostFromTheHostsFile)
{
    EXPECT_EQ(records::resolveIpv4("localhost").address, "127.0.0.1");
    EXPECT_EQ(records::resolveIpv4("127.0.0.1").address, "127.0.0.1");
}

TEST(HostResolution, WhatLooksLikeAnAddress)
{
    const std::pair<const char *, bool> rows[] = {
        {"127.0.0.1", true}, {"1.2.3", true},       {"999.1.1.1", true}, {"10", true},
        {"", false},         {"router.lan", false}, {"1.2.3.4a", false}, {"::1", false},
    };
    for (const auto &[text, expected] : rows)
        EXPECT_EQ(records::looksLikeAddress(text), expected) << text;
}

} // namespace
