// A host's slow periods in the history file: written as they start, their
// end added as they end, in the same batch or a later one, for each host
// apart; a period noted for a host the writer does not know is no reason to
// lose the batch it came with; and both readers give back those that
// overlap the span asked, one never ended ending with its watch.
#include "store_files.h"

#include "echowatch/store/span_reader.h"
#include "echowatch/store/sqlite_connection.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

constexpr history::Milliseconds Start = 1'800'000'000'000; // 2027-01-15 08:00:00 UTC
constexpr const char *Figures = R"({"percentile":95,"over_ms":100,"round_trip_ms":182.000})";

// One row of slow_periods, as a person reads it back.
struct Row
{
    std::string host;
    history::Milliseconds start = 0;
    std::optional<history::Milliseconds> end;
    std::string figures;

    bool operator==(const Row &) const = default;
};

void PrintTo(const Row &row, std::ostream *out)
{
    *out << row.host << " " << row.start << "-" << (row.end ? std::to_string(*row.end) : "open")
         << " " << row.figures;
}

std::vector<Row> slowPeriodsIn(const std::string &file)
{
    std::string error;
    std::optional<store::Connection> connection =
        store::Connection::open(file, store::Access::ReadOnly, error);
    if (!connection)
        throw std::runtime_error(error);
    store::Statement rows = connection->prepare(
        "SELECT hosts.address, start_ms, end_ms, figures FROM slow_periods "
        "JOIN hosts ON hosts.id = slow_periods.host ORDER BY hosts.address, start_ms");
    std::vector<Row> read;
    while (rows.nextRow())
        read.push_back({rows.optionalText(0).value_or(""), rows.integer(1),
                        rows.optionalInteger(2), rows.optionalText(3).value_or("")});
    EXPECT_TRUE(rows.finished());
    return read;
}

store::QueuedSlowPeriod period(std::uint32_t host, history::Milliseconds start,
                               std::optional<history::Milliseconds> end = std::nullopt)
{
    return {host, Start + start, end ? std::optional(Start + *end) : std::nullopt, Figures};
}

// The batches written one after another, each with these slow periods.
struct SlowCase
{
    const char *name;
    std::vector<std::vector<store::QueuedSlowPeriod>> batches;
    std::vector<Row> expected;
};

class SlowPeriods : public testing::TestWithParam<SlowCase>
{};

TEST_P(SlowPeriods, AreKeptAsTheyStartAndEnd)
{
    ScratchFolder folder;
    const std::string file = folder.file("history.sqlite");
    {
        store::HistoryWriter writer = writerFor(file, {"192.0.2.7", "198.51.100.3"});
        for (const auto &periods : GetParam().batches) {
            store::Batch batch;
            batch.slowPeriods = periods;
            ASSERT_TRUE(writer.write(batch)) << writer.lastError();
        }
    }
    EXPECT_EQ(slowPeriodsIn(file), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SlowPeriods,
    testing::Values(
        SlowCase{"goingOn", {{period(0, 60'000)}}, {{"192.0.2.7", Start + 60'000, {}, Figures}}},
        SlowCase{"endedInALaterBatch",
                 {{period(0, 60'000)}, {}, {period(0, 60'000, 300'000)}},
                 {{"192.0.2.7", Start + 60'000, Start + 300'000, Figures}}},
        SlowCase{"startedAndEndedInOneBatch",
                 {{period(0, 60'000), period(0, 60'000, 300'000)}},
                 {{"192.0.2.7", Start + 60'000, Start + 300'000, Figures}}},
        // Only the end is noted (the file was chosen during the period).
        SlowCase{"onlyItsEnd",
                 {{period(0, 60'000, 300'000)}},
                 {{"192.0.2.7", Start + 60'000, Start + 300'000, Figures}}},
        SlowCase{"twoPeriodsOfOneHost",
                 {{period(0, 0, 120'000)}, {period(0, 600'000)}},
                 {{"192.0.2.7", Start, Start + 120'000, Figures},
                  {"192.0.2.7", Start + 600'000, {}, Figures}}},
        SlowCase{"twoHostsAtOnce",
                 {{period(0, 60'000), period(1, 60'000)}, {period(1, 60'000, 180'000)}},
                 {{"192.0.2.7", Start + 60'000, {}, Figures},
                  {"198.51.100.3", Start + 60'000, Start + 180'000, Figures}}},
        SlowCase{"aHostTheWriterDoesNotKnow", {{period(7, 60'000)}}, {}}),
    [](const testing::TestParamInfo<SlowCase> &info) { return info.param.name; });

constexpr history::Milliseconds Minute = history::MillisecondsPerMinute;
constexpr history::Milliseconds Hour = 60 * Minute;
constexpr history::Milliseconds Step = 10'000;
constexpr history::Milliseconds SecondWatch = Start + Hour;
// The second watch was never ended: its program was killed after this probe.
constexpr history::Milliseconds LastProbe = SecondWatch + 10 * Minute - Step;

// A probe every step through the watch, from the batch's position on.
void watch(store::Batch &batch, history::Milliseconds from, history::Milliseconds to)
{
    batch.watches.push_back({0, batch.probes.size(), from, std::nullopt});
    for (history::Milliseconds at = from; at < to; at += Step)
        batch.probes.push_back({0, history::ProbeSample(at, 0, 900, 32)});
}

// The host slow from minute 2 to 5 of a watch it stopped after 20 minutes,
// and from minute 3 of a second watch an hour on until the program was
// killed; the other host slow all the while.
void writeTwoWatches(const std::string &file)
{
    store::HistoryWriter writer = writerFor(file, {"192.0.2.7", "198.51.100.3"});
    store::Batch first;
    watch(first, Start, Start + 20 * Minute);
    first.watches.push_back(
        {0, first.probes.size(), Start + 20 * Minute, store::WatchEndReason::Stopped});
    first.slowPeriods = {period(0, 2 * Minute, 5 * Minute), period(1, 0, 3 * Hour)};
    store::Batch second;
    watch(second, SecondWatch, LastProbe + 1);
    second.slowPeriods = {period(0, Hour + 3 * Minute)};
    if (!writer.write(first) || !writer.write(second))
        throw std::runtime_error(writer.lastError());
}

using Spans = std::vector<history::TimeSpan>;

struct ReadCase
{
    const char *name;
    history::TimeSpan span;
    Spans expected;
};

class SlowPeriodsRead : public testing::TestWithParam<ReadCase>
{};

TEST_P(SlowPeriodsRead, OverlappingTheSpanByBothReaders)
{
    ScratchFolder folder;
    const std::string file = folder.file("history.sqlite");
    writeTwoWatches(file);
    std::string error;
    std::optional<store::Connection> connection =
        store::Connection::open(file, store::Access::ReadOnly, error);
    ASSERT_TRUE(connection) << error;
    const history::TimeSpan span = GetParam().span;
    const std::optional<store::HostHistory> history = store::readHostHistory(
        *connection, "192.0.2.7", span, store::DefaultProbesInFull, error);
    ASSERT_TRUE(history) << error;
    EXPECT_EQ(history->slowPeriods, GetParam().expected);
    const std::optional<store::HostSpan> read =
        store::readSpan(*connection, "192.0.2.7", span, 60, error);
    ASSERT_TRUE(read) << error;
    EXPECT_EQ(read->slowPeriods, GetParam().expected);
}

constexpr history::TimeSpan FirstPeriod{Start + 2 * Minute, Start + 5 * Minute};
constexpr history::TimeSpan OpenPeriod{SecondWatch + 3 * Minute, LastProbe};

INSTANTIATE_TEST_SUITE_P(
    Table, SlowPeriodsRead,
    testing::Values(
        ReadCase{"both", {Start - Hour, Start + 3 * Hour}, {FirstPeriod, OpenPeriod}},
        ReadCase{"startedBeforeTheSpan", {Start + 4 * Minute, Start + 30 * Minute}, {FirstPeriod}},
        ReadCase{"endedAsTheSpanStarts", {Start + 5 * Minute, Start + 30 * Minute}, {FirstPeriod}},
        ReadCase{"startedAsTheSpanEnds", {Start, Start + 2 * Minute}, {}},
        ReadCase{"betweenTheWatches", {Start + 20 * Minute, SecondWatch}, {}},
        ReadCase{"openAtTheFilesEnd", {SecondWatch + 5 * Minute, Start + 30 * Hour}, {OpenPeriod}},
        ReadCase{"afterTheFilesEnd", {LastProbe + 1, Start + 30 * Hour}, {}},
        ReadCase{"longBefore", {Start - 30 * Hour, Start}, {}}),
    [](const testing::TestParamInfo<ReadCase> &info) { return info.param.name; });

} // namespace
