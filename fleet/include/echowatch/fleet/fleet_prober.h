#pragma once

#include "echowatch/fleet/tick_schedule.h"
#include "echowatch/net/echo_flight.h"
#include "echowatch/net/icmp_echo_library.h"
#include "echowatch/probe/probe_details.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <unordered_map>
#include <vector>

namespace fleet {

class ProberClock;

struct HostAddress
{
    HostKey host = 0;
    // IPv4, network byte order.
    std::uint32_t address = 0;
};

// One probe of a host, as the window would have shown it, and how long
// after its tick the request was handed to the echo service.
struct FleetProbe
{
    HostKey host = 0;
    probe::ProbeEvent probe;
    std::chrono::nanoseconds lateness{0};
};

// Probes many hosts, each at its own tick of one interval (tick_schedule.h),
// with every request in flight at once on one echo service: a slow or
// missing answer holds up nobody's tick, its own host's included. Each
// host's outcomes are handed over in the order its requests went out, so
// that whoever decides about the host sees its probes as a window would.
// Plain C++, one thread: the one that turns it, which alone uses the echo
// library.
class FleetProber
{
public:
    // library and clock must outlive the prober. With a batch span, the
    // prober wakes at most once a span to send, rather than once for each
    // host's tick: the spans lie end to end, and every tick in one leaves
    // at its start, which is in effect the host's tick (the same place in
    // every interval, so the host's interval stays whole; lateness is
    // counted from there).
    FleetProber(net::IcmpEchoLibrary &library, const ProberClock &clock,
                std::chrono::milliseconds interval, std::chrono::nanoseconds batchSpan = {});

    void add(std::span<const HostAddress> hosts);
    // What the host's requests still in flight come to is dropped.
    void remove(HostKey host);
    std::size_t hosts() const noexcept { return m_schedule.size(); }
    std::size_t inFlight() const noexcept { return m_pending.size(); }
    std::uint64_t skippedTicks() const noexcept { return m_schedule.skipped(); }

    // Sends every request due by now, then appends to done the probes
    // whose outcomes are in, waiting for one at most until `until` or the
    // next tick, whichever comes first. With a batch span, the outcomes in
    // are taken at the span's turns instead, and a turn that takes none
    // sleeps to the next (while requests are out) without waiting on them.
    void turn(SteadyClock::time_point until, std::vector<FleetProbe> &done);

private:
    struct Pending
    {
        HostKey host = 0;
        probe::ProbeEvent probe;
        std::chrono::nanoseconds lateness{0};
        bool done = false;
        // Its host was removed while it was in flight.
        bool orphan = false;
    };
    // A request's tag, with the flight it went out on in the high half: a
    // request that could not go out has one of its own there.
    using PendingKey = std::uint64_t;
    class Collector;

    void sendDue();
    SteadyClock::time_point batchStart(SteadyClock::time_point at) const;
    net::EchoFlight *openFlight(std::int32_t &failure);
    void sendOne(net::EchoFlight &flight, std::uint64_t epoch, const TickSchedule::Tick &tick);
    void failAtOnce(const TickSchedule::Tick &tick, std::int32_t status);
    struct SentAt
    {
        SteadyClock::time_point tick;
        std::chrono::system_clock::time_point wall;
        std::chrono::nanoseconds sinceBoot;
    };
    SentAt sendTime(const TickSchedule::Tick &tick) const;
    Pending &track(PendingKey key, HostKey host, const SentAt &sent);
    void settle(PendingKey key, const net::EchoOutcome &outcome);
    void handOverSettled(std::vector<FleetProbe> &done);
    void collectFrom(net::EchoFlight &flight, std::uint64_t epoch, SteadyClock::time_point until);
    void abandonFlight();

    net::IcmpEchoLibrary &m_library;
    const ProberClock &m_clock;
    TickSchedule m_schedule;
    const std::chrono::nanoseconds m_batchSpan;
    std::array<std::byte, 32> m_payload{};
    std::unordered_map<HostKey, std::uint32_t> m_addresses;
    // The handle the flight belongs to, kept while its requests are out.
    net::IcmpHandle m_handle;
    net::EchoFlight *m_flight = nullptr;
    // Counts the flights requests went out on, and the requests that could
    // not go out.
    std::uint64_t m_epoch = 1;
    std::uint64_t m_unsentCount = 0;
    std::unordered_map<PendingKey, Pending> m_pending;
    // Each host's requests in the order they went out.
    std::unordered_map<HostKey, std::deque<PendingKey>> m_order;
    // Hosts with an outcome in since the last hand-over.
    std::vector<HostKey> m_settled;
    std::vector<TickSchedule::Tick> m_due;
};

} // namespace fleet
