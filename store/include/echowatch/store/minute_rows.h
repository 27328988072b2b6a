#pragma once

#include "echowatch/store/sqlite_connection.h"
#include "echowatch/store/stored_history.h"

#include <string>

namespace store {

// Whether a minute already in the file gives way: a run's own writer
// replaces the partial minute a fold may have left; a fold never replaces
// what the writer wrote.
enum class ExistingMinute
{
    Replace,
    Keep,
};

// The summaries the file keeps: a minute's, and an hour's of those
// minutes, which a chart of months reads.
enum class Period
{
    Minute,
    Hour,
};

// The table and the columns readMinute expects, after the run's.
const char *tableOf(Period period) noexcept;
std::string columnsOf(Period period);
inline constexpr const char *MinuteColumns =
    "minute_ms, first_ms, last_ms, transmitted, received, errors, not_sent, timeouts, "
    "unreachables, other_failures, rtt_min_us, rtt_max_us, rtt_sum_us, rtt_sum_squares, "
    "rtt_p10_us, rtt_median_us, rtt_p90_us";

Statement prepareSummaryInsert(Connection &connection, Period period, ExistingMinute existing);
Statement prepareMinuteInsert(Connection &connection, ExistingMinute existing);
// A minute's or an hour's, into the table its statement was prepared for.
bool insertMinute(Statement &insert, std::int64_t run, const StoredMinute &minute);
StoredMinute readMinute(const Statement &row, int firstColumn);

// The probes a statement selects (at_ms, status, rtt_us, bytes of one run
// starting at runStart, in order) as a sample each.
history::ProbeSample readProbe(const Statement &row, Milliseconds runStart);

// Sums those probes a minute at a time, as the writer does while they come,
// handing each finished minute to emit; stops at the first emit that fails.
template <typename Emit> bool foldMinutes(Statement &probes, Milliseconds runStart, Emit emit)
{
    MinuteSummer minute;
    while (probes.nextRow()) {
        const history::ProbeSample sample = readProbe(probes, runStart);
        if (!minute.empty() && minute.minuteStart() != minuteOf(sample.sentAt()) &&
            !emit(minute.take()))
            return false;
        minute.add(sample);
    }
    return minute.empty() || emit(minute.take());
}

} // namespace store
