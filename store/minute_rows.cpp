#include "echowatch/store/minute_rows.h"

#include <string>
#include <string_view>

namespace store {

namespace {

std::int64_t asInteger(std::uint64_t count)
{
    return static_cast<std::int64_t>(count);
}

} // namespace

const char *tableOf(Period period) noexcept
{
    return period == Period::Minute ? "minutes" : "hours";
}

std::string columnsOf(Period period)
{
    const std::string_view columns(MinuteColumns);
    const std::string_view start = period == Period::Minute ? "minute_ms" : "hour_ms";
    return std::string(start) + std::string(columns.substr(columns.find(',')));
}

Statement prepareSummaryInsert(Connection &connection, Period period, ExistingMinute existing)
{
    const std::string verb =
        existing == ExistingMinute::Replace ? "INSERT OR REPLACE" : "INSERT OR IGNORE";
    return connection.prepare(verb + " INTO " + tableOf(period) + "(run, " + columnsOf(period) +
                              ") VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
}

Statement prepareMinuteInsert(Connection &connection, ExistingMinute existing)
{
    return prepareSummaryInsert(connection, Period::Minute, existing);
}

bool insertMinute(Statement &insert, std::int64_t run, const StoredMinute &minute)
{
    const history::RunStatistics &statistics = minute.statistics;
    const history::RoundTripTotals &roundTrips = statistics.roundTrips;
    const bool answered = roundTrips.count > 0;
    insert.bind(1, run)
        .bind(2, minute.minuteStart)
        .bind(3, statistics.firstSentAt)
        .bind(4, statistics.lastSentAt)
        .bind(5, asInteger(statistics.transmitted))
        .bind(6, asInteger(statistics.received))
        .bind(7, asInteger(statistics.errors))
        .bind(8, asInteger(statistics.notSent))
        .bind(9, asInteger(minute.timeouts))
        .bind(10, asInteger(minute.unreachables))
        .bind(11, asInteger(minute.otherFailures))
        .bindOptional(12, answered ? std::optional<std::int64_t>(roundTrips.minimum) : std::nullopt)
        .bindOptional(13, answered ? std::optional<std::int64_t>(roundTrips.maximum) : std::nullopt)
        .bind(14, asInteger(roundTrips.sum))
        .bind(15, roundTrips.sumOfSquares);
    const std::optional<RoundTripQuantiles> &quantiles = minute.quantiles;
    const auto quantile = [&](std::uint32_t RoundTripQuantiles::*which) {
        return quantiles ? std::optional<std::int64_t>((*quantiles).*which) : std::nullopt;
    };
    insert.bindOptional(16, quantile(&RoundTripQuantiles::p10))
        .bindOptional(17, quantile(&RoundTripQuantiles::median))
        .bindOptional(18, quantile(&RoundTripQuantiles::p90));
    return insert.run();
}

StoredMinute readMinute(const Statement &row, int firstColumn)
{
    const auto count = [&](int column) {
        return static_cast<std::uint64_t>(row.integer(firstColumn + column));
    };
    StoredMinute minute;
    minute.minuteStart = row.integer(firstColumn);
    history::RunStatistics &statistics = minute.statistics;
    statistics.firstSentAt = row.integer(firstColumn + 1);
    statistics.lastSentAt = row.integer(firstColumn + 2);
    statistics.transmitted = count(3);
    statistics.received = count(4);
    statistics.errors = count(5);
    statistics.notSent = count(6);
    minute.timeouts = count(7);
    minute.unreachables = count(8);
    minute.otherFailures = count(9);
    history::RoundTripTotals &roundTrips = statistics.roundTrips;
    roundTrips.count = statistics.received;
    if (roundTrips.count > 0) {
        roundTrips.minimum = static_cast<std::uint32_t>(count(10));
        roundTrips.maximum = static_cast<std::uint32_t>(count(11));
    }
    roundTrips.sum = count(12);
    roundTrips.sumOfSquares = row.real(firstColumn + 13);
    if (!row.isNull(firstColumn + 14)) {
        minute.quantiles = RoundTripQuantiles{static_cast<std::uint32_t>(count(14)),
                                              static_cast<std::uint32_t>(count(15)),
                                              static_cast<std::uint32_t>(count(16))};
    }
    return minute;
}

history::ProbeSample readProbe(const Statement &row, Milliseconds runStart)
{
    return history::ProbeSample(runStart + row.integer(0), static_cast<EchoStatus>(row.integer(1)),
                                row.isNull(2) ? -1 : row.integer(2),
                                static_cast<std::int32_t>(row.integer(3)));
}

} // namespace store
