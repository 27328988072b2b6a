// A host's slow periods in the history file: written as they start, their
// end added as they end, in the same batch or a later one, for each host
// apart; and a period noted for a host the writer does not know is no
// reason to lose the batch it came with.
#include "store_files.h"

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

} // namespace
