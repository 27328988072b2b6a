#pragma once

#include "echowatch/store/sqlite_connection.h"
#include "echowatch/store/stored_history.h"

namespace store {

// Whether a minute already in the file gives way: a run's own writer
// replaces the partial minute a fold may have left; a fold never replaces
// what the writer wrote.
enum class ExistingMinute
{
    Replace,
    Keep,
};

Statement prepareMinuteInsert(Connection &connection, ExistingMinute existing);
bool insertMinute(Statement &insert, std::int64_t run, const StoredMinute &minute);

// The columns readMinute expects, after the run's.
inline constexpr const char *MinuteColumns =
    "minute_ms, first_ms, last_ms, transmitted, received, errors, not_sent, timeouts, "
    "unreachables, other_failures, rtt_min_us, rtt_max_us, rtt_sum_us, rtt_sum_squares";
StoredMinute readMinute(const Statement &row, int firstColumn);

// The probes a statement selects (at_ms, status, rtt_us, bytes of one run
// starting at runStart, in order) as a sample each.
history::ProbeSample readProbe(const Statement &row, Milliseconds runStart);

// Sums those probes a minute at a time, as the writer does while they come,
// handing each finished minute to emit; stops at the first emit that fails.
template <typename Emit> bool foldMinutes(Statement &probes, Milliseconds runStart, Emit emit)
{
    StoredMinute minute;
    while (probes.nextRow()) {
        const history::ProbeSample sample = readProbe(probes, runStart);
        if (!minute.empty() && minute.minuteStart != minuteOf(sample.sentAt())) {
            if (!emit(minute))
                return false;
            minute = StoredMinute{};
        }
        minute.minuteStart = minuteOf(sample.sentAt());
        minute.add(sample);
    }
    return minute.empty() || emit(minute);
}

} // namespace store
