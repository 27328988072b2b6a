#pragma once

#include "echowatch/history/probe_sample.h"

#include <cstdint>
#include <limits>
#include <string>

namespace history {

// Round trips of answered probes, in microseconds. The sum of squares is a
// double: a year of 500 ms answers would overflow 64 bits.
struct RoundTripTotals
{
    std::uint64_t count = 0;
    std::uint32_t minimum = std::numeric_limits<std::uint32_t>::max();
    std::uint32_t maximum = 0;
    std::uint64_t sum = 0;
    double sumOfSquares = 0;

    void add(std::uint32_t microseconds) noexcept;
    void add(const RoundTripTotals &other) noexcept;
};

// Counts in the system ping's terms: a probe that was sent and not answered
// is lost, whatever the reason; one with a bad address was never sent and
// is counted apart. Errors are the failures something reported (an ICMP
// message or this machine), as ping's "+N errors".
struct RunStatistics
{
    std::uint64_t transmitted = 0;
    std::uint64_t received = 0;
    std::uint64_t errors = 0;
    std::uint64_t notSent = 0;
    RoundTripTotals roundTrips;
    // When the first and the latest of these probes were sent.
    Milliseconds firstSentAt = std::numeric_limits<Milliseconds>::max();
    Milliseconds lastSentAt = std::numeric_limits<Milliseconds>::min();

    void add(const ProbeSample &sample) noexcept;
    void add(const RunStatistics &other) noexcept;
};

// "5 packets transmitted, 4 received, +1 errors, 20% packet loss, time
// 4000ms", as ping prints it (the loss with six significant digits); the
// time from the first probe sent to the latest.
std::string transmissionLine(const RunStatistics &statistics);
// "rtt min/avg/max/mdev = 0.031/0.045/0.060/0.010 ms", computed as ping does
// in whole microseconds; empty when nothing was answered.
std::string roundTripLine(const RunStatistics &statistics);
// "3 not sent (bad address)"; empty when every probe was sent.
std::string notSentLine(const RunStatistics &statistics);

} // namespace history
