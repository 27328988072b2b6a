#include "echowatch/fleet/fleet_prober.h"

#include "echowatch/fleet/prober_clock.h"
#include "echowatch/icmp/ip_status.h"
#include "echowatch/probe/module1.h"
#include "echowatch/probe/probe_payload.h"
#include "echowatch/probe/shown_outcome.h"

#include <algorithm>

namespace fleet {

using namespace std::chrono_literals;

namespace {

constexpr std::uint64_t UnsentEpoch = 0;

std::uint64_t keyOf(std::uint64_t epoch, std::uint64_t tag)
{
    return (epoch << 32) | (tag & 0xffff'ffffu);
}

} // namespace

class FleetProber::Collector final : public net::FlightSink
{
public:
    Collector(FleetProber &prober, std::uint64_t epoch) : m_prober(prober), m_epoch(epoch) {}

    void take(net::FlightTag tag, const net::EchoOutcome &outcome) noexcept override
    {
        m_prober.settle(keyOf(m_epoch, tag), outcome);
    }

private:
    FleetProber &m_prober;
    std::uint64_t m_epoch;
};

FleetProber::FleetProber(net::IcmpEchoLibrary &library, const ProberClock &clock,
                         std::chrono::milliseconds interval, std::chrono::nanoseconds batchSpan)
    : m_library(library), m_clock(clock), m_schedule(interval, clock.now()),
      m_batchSpan(batchSpan)
{
    std::transform(probe::ProbePayload.begin(), probe::ProbePayload.end(), m_payload.begin(),
                   [](char16_t digit) { return static_cast<std::byte>(digit); });
}

void FleetProber::add(std::span<const HostAddress> hosts)
{
    std::vector<HostKey> keys;
    keys.reserve(hosts.size());
    for (const HostAddress &host : hosts) {
        m_addresses[host.host] = host.address;
        keys.push_back(host.host);
    }
    m_schedule.add(keys, m_clock.now());
}

void FleetProber::remove(HostKey host)
{
    m_schedule.remove(host);
    m_addresses.erase(host);
    const auto order = m_order.find(host);
    if (order == m_order.end())
        return;
    for (const PendingKey key : order->second) {
        const auto pending = m_pending.find(key);
        if (pending == m_pending.end())
            continue;
        if (pending->second.done)
            m_pending.erase(pending);
        else
            pending->second.orphan = true;
    }
    m_order.erase(order);
}

void FleetProber::turn(SteadyClock::time_point until, std::vector<FleetProbe> &done)
{
    const std::size_t before = done.size();
    sendDue();
    const bool batched = m_batchSpan.count() > 0;
    const bool waiting = m_flight != nullptr && m_flight->outstanding() > 0;
    if (batched && waiting)
        collectFrom(*m_flight, m_epoch, m_clock.now());
    handOverSettled(done);
    if (done.size() > before)
        return;
    const auto next = m_schedule.nextDue();
    SteadyClock::time_point deadline = next ? std::min(batchStart(*next), until) : until;
    if (!waiting) {
        m_clock.sleepUntil(deadline);
        return;
    }
    if (!batched) {
        collectFrom(*m_flight, m_epoch, deadline);
        handOverSettled(done);
        return;
    }
    // Answers are read a span at a time, not each as it comes: a thousand
    // hosts' answers woke the thread hundreds of times a second more than
    // their sends did. The kernel's receive stamp times each answer, and
    // decides whether it came within the timeout, however late it is read.
    deadline = std::min(deadline, batchStart(m_clock.now()) + m_batchSpan);
    m_clock.sleepUntil(deadline);
}

void FleetProber::sendDue()
{
    m_due.clear();
    const SteadyClock::time_point now = m_clock.now();
    m_schedule.takeDue(m_batchSpan.count() > 0 ? batchStart(now) + m_batchSpan - 1ns : now, m_due);
    if (m_due.empty())
        return;
    std::int32_t failure = icmp::IpStatus::Success;
    net::EchoFlight *flight = openFlight(failure);
    if (flight == nullptr && failure != icmp::IpStatus::Success) {
        for (const TickSchedule::Tick &tick : m_due)
            failAtOnce(tick, failure);
        return;
    }
    if (flight != nullptr) {
        for (const TickSchedule::Tick &tick : m_due)
            sendOne(*flight, m_epoch, tick);
        return;
    }
    // A service that serves one request at a time: each is waited for as
    // it is sent, and all are in by the end of the batch.
    net::SequentialFlight oneByOne(*m_handle);
    const std::uint64_t epoch = ++m_epoch;
    for (const TickSchedule::Tick &tick : m_due)
        sendOne(oneByOne, epoch, tick);
    collectFrom(oneByOne, epoch, m_clock.now());
    ++m_epoch;
}

// The echo service is asked for its handle before each batch, so that a
// socket lost to a fatal error is opened again. Null with the failure
// where none opens; null without one where the handle keeps no flight.
net::EchoFlight *FleetProber::openFlight(std::int32_t &failure)
{
    net::IcmpHandleOpening opening = m_library.IcmpCreateFile();
    if (!opening.handle) {
        failure = opening.failureStatus;
        return nullptr;
    }
    net::EchoFlight *flight = opening.handle->flight();
    if (flight != m_flight)
        abandonFlight();
    m_handle = std::move(opening.handle);
    m_flight = flight;
    return flight;
}

// Requests out on a flight given up (the service switched to another way
// of sending) will never be told: they failed.
void FleetProber::abandonFlight()
{
    net::EchoOutcome failed;
    for (auto &[key, pending] : m_pending) {
        if (!pending.done && key >> 32 == m_epoch)
            settle(key, failed);
    }
    ++m_epoch;
}

// Outcomes are handed over only by a later collect(), never during the
// send, so a request is tracked once it has its tag.
FleetProber::Pending &FleetProber::track(PendingKey key, HostKey host, const SentAt &sent)
{
    Pending &pending = m_pending[key];
    pending.host = host;
    pending.probe.sentAt = sent.wall;
    pending.probe.sentSinceBoot = sent.sinceBoot;
    pending.probe.details.destination = m_addresses[host];
    // With batches, a host's tick is in effect the start of its span.
    pending.lateness = m_clock.now() - batchStart(sent.tick);
    m_order[host].push_back(key);
    return pending;
}

// The spans are laid end to end from the clock's epoch, so that a host's
// tick falls at the same place in its span every interval.
SteadyClock::time_point FleetProber::batchStart(SteadyClock::time_point at) const
{
    if (m_batchSpan.count() <= 0)
        return at;
    const auto since = at.time_since_epoch();
    return SteadyClock::time_point(since - since % m_batchSpan);
}

FleetProber::SentAt FleetProber::sendTime(const TickSchedule::Tick &tick) const
{
    return {tick.at, m_clock.wallNow(), m_clock.sinceBoot()};
}

void FleetProber::sendOne(net::EchoFlight &flight, std::uint64_t epoch,
                          const TickSchedule::Tick &tick)
{
    const SentAt sent = sendTime(tick);
    const net::FlightTag tag =
        flight.send({m_addresses[tick.host], m_payload, std::chrono::milliseconds(EchoTimeout)});
    track(keyOf(epoch, tag), tick.host, sent);
}

void FleetProber::failAtOnce(const TickSchedule::Tick &tick, std::int32_t status)
{
    const PendingKey key = keyOf(UnsentEpoch, ++m_unsentCount);
    track(key, tick.host, sendTime(tick));
    net::EchoOutcome failed;
    failed.status = status;
    settle(key, failed);
}

void FleetProber::settle(PendingKey key, const net::EchoOutcome &outcome)
{
    const auto found = m_pending.find(key);
    if (found == m_pending.end() || found->second.done)
        return;
    Pending &pending = found->second;
    if (pending.orphan) {
        m_pending.erase(found);
        return;
    }
    const probe::ShownOutcome shown =
        probe::showOutcome(outcome, pending.probe.details.destination);
    pending.probe.status = shown.status;
    pending.probe.replySize = shown.replySize;
    pending.probe.details = shown.details;
    pending.done = true;
    m_settled.push_back(pending.host);
}

// Each host's settled outcomes from the front of its order: one still in
// flight holds back the later ones of the same host, no other host's.
void FleetProber::handOverSettled(std::vector<FleetProbe> &done)
{
    for (const HostKey host : m_settled) {
        const auto order = m_order.find(host);
        if (order == m_order.end())
            continue;
        std::deque<PendingKey> &keys = order->second;
        while (!keys.empty()) {
            const auto pending = m_pending.find(keys.front());
            if (pending == m_pending.end() || !pending->second.done)
                break;
            done.push_back({host, pending->second.probe, pending->second.lateness});
            m_pending.erase(pending);
            keys.pop_front();
        }
    }
    m_settled.clear();
}

void FleetProber::collectFrom(net::EchoFlight &flight, std::uint64_t epoch,
                              SteadyClock::time_point until)
{
    Collector collector(*this, epoch);
    flight.collect(until, collector);
}

} // namespace fleet
