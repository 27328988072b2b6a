#pragma once

#include "echowatch/probe/echo_status.h"

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace records {

// Round-trip buckets as smokeping_prober has them: 50 µs, doubling, up to
// 1.6384 s, beyond any wait for an answer.
inline constexpr std::int64_t FirstBucketMicroseconds = 50;
inline constexpr std::size_t RoundTripBucketCount = 16;

// The label values of echowatch_outages_by_side_total: the classes an
// outage's verdict names, and "unknown" for one filed without a class (its
// trace found nothing to decide by, or could not run).
inline constexpr std::array<std::string_view, 6> OutageClasses{
    "this computer", "local network", "beyond the gateway", "the host", "not watched", "unknown"};

// Every status a probe that was sent can fail with, each counted from 0 for
// a watched host, so that a dashboard reads 0 rather than no data before
// the first failure: net, host, protocol and port unreachable, no
// resources, too big, no answer in time, bad route, TTL exceeded in transit
// and in reassembly, parameter problem, source quench, refused by this
// machine, general failure.
inline constexpr std::array<EchoStatus, 14> FailureStatuses = {
    11002, 11003, 11004, 11005, 11006, 11009, 11010,
    11012, 11013, 11014, 11015, 11016, 11018, 11050};

// How late the headless prober's requests left after their ticks: upper
// bounds in microseconds, then everything beyond.
inline constexpr std::array<std::int64_t, 10> DelayBoundsMicroseconds = {
    1'000, 2'000, 5'000, 10'000, 20'000, 50'000, 100'000, 200'000, 500'000, 1'000'000};

struct DelayFigures
{
    std::array<std::uint64_t, DelayBoundsMicroseconds.size() + 1> inBucket{};
    std::uint64_t count = 0;
    std::int64_t sumMicroseconds = 0;
};

// What one host's probes add up to since the window opened.
struct HostFigures
{
    std::uint64_t requests = 0;
    // Per failing status: every probe whose status is not 0.
    std::map<EchoStatus, std::uint64_t> failures;
    // Answers per bucket, each counted once (not yet cumulative).
    std::array<std::uint64_t, RoundTripBucketCount + 1> answersInBucket{};
    std::uint64_t answers = 0;
    std::int64_t roundTripSumMicroseconds = 0;
    bool down = false;
    // As the slow rule (--slow-over) calls it; never without one.
    bool slow = false;
    std::uint64_t outages = 0;
    // Outages by the class of their verdict, in OutageClasses' order.
    std::array<std::uint64_t, OutageClasses.size()> outagesByClass{};
    // Only a watched host is up or down; the counters outlive its watch.
    bool watched = false;
};

// The figures of every host the window has probed, by the host's name (the
// address where it has none), and their Prometheus text exposition.
class MetricsRegistry
{
public:
    // roundTripMicroseconds: -1 when nothing answered.
    void recordProbe(std::string_view host, EchoStatus status, std::int64_t roundTripMicroseconds);
    // The host's going down (counted as an outage) or coming back.
    void recordDown(std::string_view host);
    void recordUp(std::string_view host);
    // The host became slow, or its slow period ended.
    void recordSlow(std::string_view host, bool slow);
    // The host's watch started, or ended: an outage open then is neither
    // down nor up any more, nor is the host slow, and echowatch_up and
    // echowatch_slow leave the exposition. A watch that starts puts every
    // failure counter of the host there, at 0 where it was not yet.
    void recordWatch(std::string_view host, bool watched);
    // An outage of the host got its verdict, of that class (empty or any
    // other word: "unknown").
    void recordClass(std::string_view host, std::string_view side);
    // How long after its tick a request of the headless prober left; the
    // family is served once there is one.
    void recordSendDelay(std::int64_t microseconds);

    // The text format Prometheus scrapes (version 0.0.4).
    std::string exposition() const;
    const std::map<std::string, HostFigures, std::less<>> &hosts() const noexcept
    {
        return m_hosts;
    }

private:
    HostFigures &figures(std::string_view host);

    std::map<std::string, HostFigures, std::less<>> m_hosts;
    DelayFigures m_delays;
};

// A label value as the text format quotes it: backslash, double quote and
// line feed escaped.
void appendLabelValue(std::string &text, std::string_view value);

// The content type of the exposition.
inline constexpr std::string_view ExpositionContentType =
    "text/plain; version=0.0.4; charset=utf-8";

} // namespace records
