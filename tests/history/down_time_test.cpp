// How long a host was down, and every duration as the program shows it,
// against figures worked out by hand.
#include "echowatch/history/duration_text.h"
#include "echowatch/history/host_records.h"
#include "echowatch/history/probe_record.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

using namespace history;

namespace {

constexpr Milliseconds Start = 1'800'000'000'000;

struct DurationCase
{
    Milliseconds duration;
    const char *text;
};

TEST(DurationText, OneRuleForEveryDuration)
{
    const DurationCase cases[] = {
        {0, "0.0 s"},
        {-5, "0.0 s"},
        {49, "0.0 s"},
        {50, "0.1 s"},
        {2'450, "2.5 s"},
        {2'500, "2.5 s"},
        {59'949, "59.9 s"},
        {59'950, "1 min"},
        {100'000, "1 min 40 s"},
        {614'499, "10 min 14 s"},
        {614'500, "10 min 15 s"},
        {3'600'000, "1 h"},
        {3'605'000, "1 h 5 s"},
        {3'725'000, "1 h 2 min 5 s"},
    };
    for (const auto &row : cases)
        EXPECT_EQ(durationText(row.duration), row.text) << row.duration;
}

TEST(DurationText, DownTimeLine)
{
    EXPECT_EQ(downTimeLine(100'000, 614'000),
              "down 16.3% of the watched time (1 min 40 s of 10 min 14 s)");
    EXPECT_EQ(downTimeLine(0, 5'000), "down 0% of the watched time (0.0 s of 5.0 s)");
    EXPECT_EQ(downTimeLine(5'000, 5'000), "down 100% of the watched time (5.0 s of 5.0 s)");
    EXPECT_EQ(downTimeLine(1, 1'000'000), "down <0.01% of the watched time (0.0 s of 16 min 40 s)");
    EXPECT_EQ(downTimeLine(0, 0), "");
}

// Probes every 100 ms that a silent host stretches to one per 500 ms: the
// share of probes lost understates how long it was down.
ProbeRecord darkForTwoSeconds()
{
    ProbeRecord record(1000);
    Milliseconds at = Start;
    for (int probe = 0; probe < 10; ++probe, at += 100)
        record.record(ProbeSample(at, 0, 300, 32));
    for (int probe = 0; probe < 4; ++probe, at += 500)
        record.record(ProbeSample(at, 11010, -1, 0));
    for (int probe = 0; probe < 10; ++probe, at += 100)
        record.record(ProbeSample(at, 0, 300, 32));
    return record;
}

TEST(DownTime, FromTheFirstFailureToTheFirstAnswer)
{
    const ProbeRecord record = darkForTwoSeconds();
    // Sent at 0 ms to 3,900 ms; down from 1,000 ms to 3,000 ms.
    EXPECT_EQ(record.totals().transmitted, 24u);
    EXPECT_EQ(record.totals().received, 20u);
    EXPECT_EQ(record.outages().downTime(), 2'000);
    EXPECT_EQ(record.outages().downTimeIn({Start + 2'500, Start + 10'000}), 500);
    EXPECT_EQ(record.outages().downTimeIn({Start, Start + 1'500}), 500);
    EXPECT_EQ(record.outages().downTimeIn({Start + 3'000, Start + 4'000}), 0);
    EXPECT_EQ(downTimeLine(record.outages().downTime(),
                           record.totals().lastSentAt - record.totals().firstSentAt),
              "down 51.3% of the watched time (2.0 s of 3.9 s)");
}

TEST(DownTime, AnOngoingOutageCountsToItsLatestFailure)
{
    ProbeRecord record(100);
    record.record(ProbeSample(Start, 0, 300, 32));
    record.record(ProbeSample(Start + 1'000, 11010, -1, 0));
    record.record(ProbeSample(Start + 1'500, 11003, -1, 0));
    EXPECT_EQ(record.outages().downTime(), 500);
}

TEST(HostRecords, EachHostItsOwnSeriesStatisticsAndOutages)
{
    HostRecords hosts(100);
    const std::uint32_t first = inet_addr("192.0.2.1");
    const std::uint32_t second = inet_addr("192.0.2.2");
    hosts.record(first, ProbeSample(Start, 11010, -1, 0));
    hosts.record(second, ProbeSample(Start + 500, 0, 300, 32));
    // Never sent: counted with the host the monitor named, the one before.
    hosts.record(second, ProbeSample(Start + 600, -1, -1, 0));
    hosts.record(first, ProbeSample(Start + 1'000, 0, 300, 32));
    ASSERT_EQ(hosts.size(), 2u);
    EXPECT_EQ(hosts.latest(), *hosts.find(first));
    const ProbeRecord &one = hosts.at(*hosts.find(first));
    const ProbeRecord &two = hosts.at(*hosts.find(second));
    EXPECT_EQ(one.totals().transmitted, 2u);
    EXPECT_EQ(one.totals().received, 1u);
    EXPECT_EQ(one.outages().size(), 1u);
    EXPECT_EQ(one.outages().downTime(), 1'000);
    EXPECT_EQ(two.totals().transmitted, 1u);
    EXPECT_EQ(two.totals().notSent, 1u);
    EXPECT_TRUE(two.outages().empty());
}

// 0.0.0.0 is a host like any other; the probes never sent before any host
// was are a series of their own, with no address.
TEST(HostRecords, NoAddressIsNotTheAllZeroAddress)
{
    HostRecords hosts(100);
    hosts.record(std::nullopt, ProbeSample(Start, -1, -1, 0));
    hosts.record(0, ProbeSample(Start + 1'000, 11018, -1, 0));
    ASSERT_EQ(hosts.size(), 2u);
    EXPECT_EQ(hosts.address(*hosts.find(std::nullopt)), std::nullopt);
    EXPECT_EQ(hosts.at(*hosts.find(std::nullopt)).totals().notSent, 1u);
    EXPECT_EQ(hosts.at(*hosts.find(0u)).totals().transmitted, 1u);
}

// An outage open when its watch ended ends there, not watched.
TEST(HostRecords, AWatchEndEndsTheOutageUnwatched)
{
    HostRecords hosts(100);
    const std::uint32_t host = inet_addr("192.0.2.1");
    hosts.record(host, ProbeSample(Start, 11010, -1, 0));
    hosts.recordWatchEnd(host, Start + 400);
    hosts.record(host, ProbeSample(Start + 10'000, 0, 300, 32));
    const OutageList &outages = hosts.at(*hosts.find(host)).outages();
    ASSERT_EQ(outages.size(), 1u);
    EXPECT_EQ(outages[0].end, std::optional<Milliseconds>(Start + 400));
    EXPECT_TRUE(outages[0].endedUnwatched);
    EXPECT_EQ(outages.downTime(), 400);
}

TEST(HostRecords, TheHostProbedLongestAgoGivesWayWhenFull)
{
    HostRecords hosts(4);
    for (std::uint32_t host = 1; host <= HostRecords::MaximumHosts; ++host)
        hosts.record(htonl(host), ProbeSample(Start + host, 0, 300, 32));
    hosts.record(htonl(1), ProbeSample(Start + 1'000, 0, 300, 32));
    hosts.record(htonl(1'000), ProbeSample(Start + 2'000, 0, 300, 32));
    EXPECT_EQ(hosts.size(), HostRecords::MaximumHosts);
    EXPECT_TRUE(hosts.find(htonl(1)));
    EXPECT_FALSE(hosts.find(htonl(2)));
    EXPECT_EQ(hosts.at(*hosts.find(htonl(1'000))).totals().transmitted, 1u);
}

} // namespace
