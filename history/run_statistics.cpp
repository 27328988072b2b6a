#include "echowatch/history/run_statistics.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace history {

namespace {

std::string printed(const char *format, auto... values)
{
    char text[160];
    const int length = std::snprintf(text, sizeof text, format, values...);
    return std::string(text, static_cast<std::size_t>(std::clamp(length, 0, 159)));
}

// ping's own layout of a time in microseconds: whole milliseconds, a point,
// three digits.
std::string millisecondsText(std::uint64_t microseconds)
{
    return printed("%llu.%03llu", static_cast<unsigned long long>(microseconds / 1000),
                   static_cast<unsigned long long>(microseconds % 1000));
}

// ping rounds its averages down to whole microseconds before it takes the
// square root, and the root down again.
std::uint64_t meanDeviation(const RoundTripTotals &totals, std::uint64_t mean)
{
    const double meanOfSquares =
        std::floor(totals.sumOfSquares / static_cast<double>(totals.count));
    const double variance = meanOfSquares - static_cast<double>(mean) * static_cast<double>(mean);
    if (variance <= 0)
        return 0;
    auto root = static_cast<std::uint64_t>(std::sqrt(variance));
    while (static_cast<double>(root) * static_cast<double>(root) > variance)
        --root;
    return root;
}

} // namespace

void RoundTripTotals::add(std::uint32_t microseconds) noexcept
{
    ++count;
    minimum = std::min(minimum, microseconds);
    maximum = std::max(maximum, microseconds);
    sum += microseconds;
    sumOfSquares += static_cast<double>(microseconds) * static_cast<double>(microseconds);
}

void RoundTripTotals::add(const RoundTripTotals &other) noexcept
{
    count += other.count;
    minimum = std::min(minimum, other.minimum);
    maximum = std::max(maximum, other.maximum);
    sum += other.sum;
    sumOfSquares += other.sumOfSquares;
}

void RunStatistics::add(const ProbeSample &sample) noexcept
{
    firstSentAt = std::min(firstSentAt, sample.sentAt());
    lastSentAt = std::max(lastSentAt, sample.sentAt());
    const ProbeKind kind = kindOf(sample.status());
    if (kind == ProbeKind::NotSent) {
        ++notSent;
        return;
    }
    ++transmitted;
    if (kind == ProbeKind::Answered) {
        ++received;
        roundTrips.add(
            static_cast<std::uint32_t>(std::max<std::int64_t>(sample.roundTripMicroseconds(), 0)));
    } else if (kind != ProbeKind::Timeout) {
        ++errors;
    }
}

void RunStatistics::add(const RunStatistics &other) noexcept
{
    transmitted += other.transmitted;
    received += other.received;
    errors += other.errors;
    notSent += other.notSent;
    roundTrips.add(other.roundTrips);
    firstSentAt = std::min(firstSentAt, other.firstSentAt);
    lastSentAt = std::max(lastSentAt, other.lastSentAt);
}

std::string transmissionLine(const RunStatistics &statistics)
{
    std::string line = printed("%llu packets transmitted, %llu received",
                               static_cast<unsigned long long>(statistics.transmitted),
                               static_cast<unsigned long long>(statistics.received));
    if (statistics.errors > 0)
        line += printed(", +%llu errors", static_cast<unsigned long long>(statistics.errors));
    if (statistics.transmitted > 0) {
        const auto lost = static_cast<double>(statistics.transmitted - statistics.received);
        // Through a float, as ping does, so the sixth digit agrees with it.
        const auto loss =
            static_cast<float>(lost * 100.0 / static_cast<double>(statistics.transmitted));
        line += printed(", %g%% packet loss, time %lldms", static_cast<double>(loss),
                        static_cast<long long>(statistics.lastSentAt - statistics.firstSentAt));
    }
    return line;
}

std::string roundTripLine(const RunStatistics &statistics)
{
    const RoundTripTotals &totals = statistics.roundTrips;
    if (totals.count == 0)
        return {};
    const std::uint64_t mean = totals.sum / totals.count;
    return "rtt min/avg/max/mdev = " + millisecondsText(totals.minimum) + '/' +
           millisecondsText(mean) + '/' + millisecondsText(totals.maximum) + '/' +
           millisecondsText(meanDeviation(totals, mean)) + " ms";
}

std::string notSentLine(const RunStatistics &statistics)
{
    if (statistics.notSent == 0)
        return {};
    return printed("%llu not sent (bad address)",
                   static_cast<unsigned long long>(statistics.notSent));
}

} // namespace history
