#include "echowatch/records/metrics_registry.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

bool has(const std::string &text, const std::string &line)
{
    return text.find(line + "\n") != std::string::npos;
}

TEST(MetricsRegistry, BucketsAreFiftyMicrosecondsDoubling)
{
    const std::pair<std::int64_t, const char *> rows[] = {
        {0, "5e-05"},    {50, "5e-05"},       {51, "0.0001"},    {100, "0.0001"},
        {101, "0.0002"}, {1638400, "1.6384"}, {1638401, "+Inf"},
    };
    for (const auto &[microseconds, bucket] : rows) {
        records::MetricsRegistry registry;
        registry.recordProbe("h", 0, microseconds);
        const std::string text = registry.exposition();
        // The bucket holding it is the first that counts 1.
        const std::string label = std::string(bucket) == "5e-05" ? "0.00005" : bucket;
        const std::size_t first =
            text.find("echowatch_response_duration_seconds_bucket{host=\"h\",le=");
        const std::size_t counted = text.find("\"} 1\n", first);
        ASSERT_NE(counted, std::string::npos);
        EXPECT_EQ(text.substr(counted - label.size(), label.size()), label) << microseconds;
    }
}

TEST(MetricsRegistry, CountsPerHost)
{
    records::MetricsRegistry registry;
    registry.recordWatch("127.0.0.1", true);
    registry.recordWatch("router.lan", true);
    for (const std::int64_t microseconds : {40, 75, 300})
        registry.recordProbe("127.0.0.1", 0, microseconds);
    registry.recordProbe("127.0.0.1", 11010, -1);
    registry.recordProbe("127.0.0.1", 11010, -1);
    registry.recordDown("127.0.0.1");
    registry.recordProbe("router.lan", -1, -1);
    const std::string text = registry.exposition();

    for (const char *line : {
             "# TYPE echowatch_requests_total counter",
             "echowatch_requests_total{host=\"127.0.0.1\"} 5",
             "echowatch_requests_total{host=\"router.lan\"} 1",
             "# TYPE echowatch_response_duration_seconds histogram",
             "echowatch_response_duration_seconds_bucket{host=\"127.0.0.1\",le=\"0.00005\"} 1",
             "echowatch_response_duration_seconds_bucket{host=\"127.0.0.1\",le=\"0.0001\"} 2",
             "echowatch_response_duration_seconds_bucket{host=\"127.0.0.1\",le=\"0.0002\"} 2",
             "echowatch_response_duration_seconds_bucket{host=\"127.0.0.1\",le=\"0.0004\"} 3",
             "echowatch_response_duration_seconds_bucket{host=\"127.0.0.1\",le=\"+Inf\"} 3",
             "echowatch_response_duration_seconds_sum{host=\"127.0.0.1\"} 0.000415",
             "echowatch_response_duration_seconds_count{host=\"127.0.0.1\"} 3",
             "echowatch_response_duration_seconds_count{host=\"router.lan\"} 0",
             "echowatch_failures_total{host=\"127.0.0.1\",status=\"11010\"} 2",
             "echowatch_failures_total{host=\"router.lan\",status=\"-1\"} 1",
             "echowatch_up{host=\"127.0.0.1\"} 0",
             "echowatch_up{host=\"router.lan\"} 1",
             "echowatch_outages_total{host=\"127.0.0.1\"} 1",
             "echowatch_outages_total{host=\"router.lan\"} 0",
         })
        EXPECT_TRUE(has(text, line)) << line << "\nin\n" << text;

    registry.recordUp("127.0.0.1");
    EXPECT_TRUE(has(registry.exposition(), "echowatch_up{host=\"127.0.0.1\"} 1"));
}

// A host nobody watches is neither up nor down: its echowatch_up goes, and
// an outage open when its watch ended is no longer one. Its counters stay.
TEST(MetricsRegistry, OnlyAWatchedHostIsUpOrDown)
{
    records::MetricsRegistry registry;
    registry.recordProbe("192.0.2.1", 11010, -1);
    EXPECT_FALSE(has(registry.exposition(), "echowatch_up{"));
    registry.recordWatch("192.0.2.1", true);
    registry.recordDown("192.0.2.1");
    EXPECT_TRUE(has(registry.exposition(), "echowatch_up{host=\"192.0.2.1\"} 0"));
    registry.recordWatch("192.0.2.1", false);
    const std::string text = registry.exposition();
    EXPECT_FALSE(has(text, "echowatch_up{host=\"192.0.2.1\"}")) << text;
    EXPECT_TRUE(has(text, "echowatch_outages_total{host=\"192.0.2.1\"} 1")) << text;
    EXPECT_TRUE(has(text, "echowatch_requests_total{host=\"192.0.2.1\"} 1")) << text;
    registry.recordWatch("192.0.2.1", true);
    EXPECT_TRUE(has(registry.exposition(), "echowatch_up{host=\"192.0.2.1\"} 1"));
}

// Slow only while watched, as up is; a watch's end ends a slow period.
TEST(MetricsRegistry, SlowWhileWatched)
{
    records::MetricsRegistry registry;
    registry.recordProbe("192.0.2.1", 0, 150'000);
    EXPECT_FALSE(has(registry.exposition(), "echowatch_slow{"));
    registry.recordWatch("192.0.2.1", true);
    EXPECT_TRUE(has(registry.exposition(), "echowatch_slow{host=\"192.0.2.1\"} 0"));
    registry.recordSlow("192.0.2.1", true);
    EXPECT_TRUE(has(registry.exposition(), "echowatch_slow{host=\"192.0.2.1\"} 1"));
    registry.recordWatch("192.0.2.1", false);
    EXPECT_FALSE(has(registry.exposition(), "echowatch_slow{"));
    registry.recordWatch("192.0.2.1", true);
    EXPECT_TRUE(has(registry.exposition(), "echowatch_slow{host=\"192.0.2.1\"} 0"));
}

// Every class is there at 0 for every host from its first figure on; each
// verdict counts once under its class, and anything else as unknown.
TEST(MetricsRegistry, CountsOutagesByTheirClass)
{
    records::MetricsRegistry registry;
    registry.recordWatch("192.0.2.1", true);
    std::string text = registry.exposition();
    EXPECT_TRUE(has(text, "# TYPE echowatch_outages_by_side_total counter")) << text;
    for (const std::string_view side : records::OutageClasses)
        EXPECT_TRUE(has(text, "echowatch_outages_by_side_total{host=\"192.0.2.1\",side=\"" +
                                  std::string(side) + "\"} 0"))
            << side << "\n"
            << text;
    registry.recordClass("192.0.2.1", "local network");
    registry.recordClass("192.0.2.1", "local network");
    registry.recordClass("192.0.2.1", "not watched");
    registry.recordClass("192.0.2.1", "");
    registry.recordClass("192.0.2.1", "somewhere else");
    text = registry.exposition();
    for (const char *line : {
             "echowatch_outages_by_side_total{host=\"192.0.2.1\",side=\"local network\"} 2",
             "echowatch_outages_by_side_total{host=\"192.0.2.1\",side=\"not watched\"} 1",
             "echowatch_outages_by_side_total{host=\"192.0.2.1\",side=\"unknown\"} 2",
             "echowatch_outages_by_side_total{host=\"192.0.2.1\",side=\"the host\"} 0",
         })
        EXPECT_TRUE(has(text, line)) << line << "\nin\n" << text;
}

// A dashboard reads 0 before the first failure, not "no data": each failing
// status is there from the watch's start, and a failure counted before the
// watch keeps its count.
TEST(MetricsRegistry, EveryFailureCounterIsThereAtZeroFromTheWatchOn)
{
    records::MetricsRegistry registry;
    registry.recordProbe("192.0.2.1", 11010, -1);
    registry.recordWatch("192.0.2.1", true);
    registry.recordWatch("127.0.0.1", true);
    const std::string text = registry.exposition();
    for (const EchoStatus status : records::FailureStatuses) {
        const std::string counter =
            "echowatch_failures_total{host=\"127.0.0.1\",status=\"" + std::to_string(status) + "\"} ";
        EXPECT_TRUE(has(text, counter + "0")) << counter << "\nin\n" << text;
    }
    EXPECT_TRUE(has(text, "echowatch_failures_total{host=\"192.0.2.1\",status=\"11010\"} 1"));
    EXPECT_TRUE(has(text, "echowatch_failures_total{host=\"192.0.2.1\",status=\"11003\"} 0"));
    // The window's silence (11010) and a general failure are among them.
    EXPECT_NE(std::find(records::FailureStatuses.begin(), records::FailureStatuses.end(), 11010),
              records::FailureStatuses.end());
    EXPECT_NE(std::find(records::FailureStatuses.begin(), records::FailureStatuses.end(), 11050),
              records::FailureStatuses.end());
}

// The headless prober's lateness: absent until there is one, then a
// cumulative histogram whose bounds take each delay at or below them.
TEST(MetricsRegistry, SendDelaysAreAHistogramOnceThereIsOne)
{
    records::MetricsRegistry registry;
    EXPECT_EQ(registry.exposition().find("echowatch_probe_delay_seconds"), std::string::npos);
    for (const std::int64_t microseconds : {0, 1'000, 1'001, 12'000, 2'000'000})
        registry.recordSendDelay(microseconds);
    const std::string text = registry.exposition();
    for (const char *line : {
             "# TYPE echowatch_probe_delay_seconds histogram",
             "echowatch_probe_delay_seconds_bucket{le=\"0.001\"} 2",
             "echowatch_probe_delay_seconds_bucket{le=\"0.002\"} 3",
             "echowatch_probe_delay_seconds_bucket{le=\"0.01\"} 3",
             "echowatch_probe_delay_seconds_bucket{le=\"0.02\"} 4",
             "echowatch_probe_delay_seconds_bucket{le=\"1\"} 4",
             "echowatch_probe_delay_seconds_bucket{le=\"+Inf\"} 5",
             "echowatch_probe_delay_seconds_sum 2.014001",
             "echowatch_probe_delay_seconds_count 5",
         })
        EXPECT_TRUE(has(text, line)) << line << "\nin\n" << text;
}

TEST(MetricsRegistry, LabelValuesAreEscaped)
{
    const std::pair<const char *, const char *> rows[] = {
        {"plain", "\"plain\""}, {"a\"b", "\"a\\\"b\""}, {"a\\b", "\"a\\\\b\""},
        {"a\nb", "\"a\\nb\""},  {"é,}{=", "\"é,}{=\""},
    };
    for (const auto &[value, quoted] : rows) {
        std::string text;
        records::appendLabelValue(text, value);
        EXPECT_EQ(text, quoted);
    }
}

} // namespace
