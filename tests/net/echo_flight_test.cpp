// Requests in flight on a kept socket: several out at once, each matched to
// what answers it by its own sequence whatever order that comes in, ICMP
// errors told with their type and code, late and foreign answers passed by,
// each request timed out on its own. Through a scripted kernel (no root),
// then through real ones in a namespace of the test's own (root).
#include "echowatch/icmp/icmp_packet.h"
#include "echowatch/icmp/ip_status.h"
#include "echowatch/net/icmp_echo_flight.h"
#include "echowatch/net/icmp_echo_library.h"
#include "support/child_process.h"
#include "support/echo_record.h"
#include "support/packet_builder.h"
#include "support/scripted_socket_calls.h"

#include <gtest/gtest.h>

#include <map>
#include <sys/eventfd.h>

namespace {

using namespace std::chrono_literals;
using namespace testpackets;
using fakes::QueuedEntry;
using fakes::ScriptedSocketCalls;
using fakes::SentRequest;
using net::FailureOrigin;
using net::IcmpSocketKind;
namespace IpStatus = icmp::IpStatus;
namespace Type = icmp::Type;
using Clock = std::chrono::steady_clock;

const std::uint32_t Host = address("198.51.100.7");
const std::uint32_t Router = address("203.0.113.1");
const std::uint32_t Us = address("192.0.2.10");
const Bytes Payload = bytesOf(TestPayload);
constexpr std::uint16_t Identifier = 0x4244;

struct Taken
{
    net::EchoOutcome outcome;
    Bytes data;
};

// Every outcome handed over, by tag, with a copy of its data.
struct Outcomes final : net::FlightSink
{
    void take(net::FlightTag tag, const net::EchoOutcome &outcome) noexcept override
    {
        const bool first = byTag.emplace(tag, Taken{outcome, Bytes(outcome.data.begin(),
                                                                   outcome.data.end())})
                               .second;
        handedTwice = handedTwice || !first;
        order.push_back(tag);
    }
    std::map<net::FlightTag, Taken> byTag;
    std::vector<net::FlightTag> order;
    bool handedTwice = false;
};

void collectAll(net::EchoFlight &flight, Outcomes &outcomes)
{
    const auto giveUp = Clock::now() + 5s;
    while (flight.outstanding() > 0 && Clock::now() < giveUp)
        flight.collect(Clock::now() + 100ms, outcomes);
}

struct Scripted
{
    explicit Scripted(IcmpSocketKind kind)
        : library(net::IcmpSocket::adopt(::eventfd(0, EFD_CLOEXEC), kind, Identifier, true),
                  &calls),
          handle(library.IcmpCreateFile().handle), flight(*handle->flight())
    {
        calls.onSend = [this](const SentRequest &s, ScriptedSocketCalls &) { sent.push_back(s); };
    }

    ScriptedSocketCalls calls;
    net::LinuxIcmpEchoLibrary library;
    net::IcmpHandle handle;
    net::EchoFlight &flight;
    std::vector<SentRequest> sent;
};

QueuedEntry datagramReply(const SentRequest &s, std::chrono::nanoseconds after,
                          std::uint32_t source = Host)
{
    return {icmpMessage(Type::EchoReply, 0, 0, s.sequence, s.data), source, s.stamp + after, 57};
}

QueuedEntry datagramError(const SentRequest &s, std::chrono::nanoseconds after,
                          std::uint8_t type, std::uint8_t code)
{
    QueuedEntry entry{icmpMessage(Type::EchoRequest, 0, 0, s.sequence, s.data), Host,
                      s.stamp + after};
    entry.origin = icmp::ErrorOriginIcmp;
    entry.type = type;
    entry.code = code;
    entry.offender = Router;
    return entry;
}

// Three requests out before anything comes back; the answers come in
// another order, one of them an administrative refusal, and each goes to
// its own request with its own round trip from the kernel's stamps.
TEST(Flight, MatchesAnswersThatComeOutOfOrder)
{
    Scripted kernel(IcmpSocketKind::Datagram);
    std::vector<net::FlightTag> tags;
    for (net::TimeToLive ttl = 1; ttl <= 3; ++ttl)
        tags.push_back(kernel.flight.send({Host, Payload, 500ms, ttl}));
    ASSERT_EQ(kernel.sent.size(), 3u);
    EXPECT_EQ(kernel.flight.outstanding(), 3u);
    kernel.calls.receiveQueue.push_back(datagramReply(kernel.sent[2], 9ms));
    kernel.calls.errorQueue.push_back(datagramError(kernel.sent[1], 2ms, 3, 13));
    kernel.calls.errorQueue.push_back(datagramError(kernel.sent[0], 5ms, Type::TimeExceeded, 0));
    Outcomes outcomes;
    collectAll(kernel.flight, outcomes);
    ASSERT_EQ(outcomes.byTag.size(), 3u);
    const auto &first = outcomes.byTag.at(tags[0]).outcome;
    EXPECT_EQ(first.status, IpStatus::TtlExpiredTransit);
    EXPECT_EQ(first.roundTrip, 5ms);
    EXPECT_EQ(first.responder, Router);
    const auto &second = outcomes.byTag.at(tags[1]).outcome;
    EXPECT_EQ(second.status, IpStatus::DestHostUnreachable);
    EXPECT_EQ(second.message, (icmp::MessageKind{3, 13}));
    EXPECT_EQ(second.origin, FailureOrigin::IcmpMessage);
    EXPECT_EQ(second.roundTrip, 2ms);
    const auto &third = outcomes.byTag.at(tags[2]);
    EXPECT_EQ(third.outcome.status, IpStatus::Success);
    EXPECT_EQ(third.outcome.roundTrip, 9ms);
    EXPECT_EQ(third.outcome.ttl, 57);
    EXPECT_EQ(third.data, kernel.sent[2].data);
    EXPECT_FALSE(outcomes.handedTwice);
}

// A request past its timeout is timed out on its own, however long the
// others wait; what answers it afterwards (or came stamped past its
// timeout, or from another source) is passed by, and never taken for
// another request.
TEST(Flight, TimesOutEachRequestOnItsOwn)
{
    Scripted kernel(IcmpSocketKind::Datagram);
    const auto quick = kernel.flight.send({Host, Payload, 20ms});
    const auto stampedLate = kernel.flight.send({Host, Payload, 300ms});
    const auto foreign = kernel.flight.send({Host, Payload, 300ms});
    kernel.calls.receiveQueue.push_back(datagramReply(kernel.sent[1], 301ms));
    kernel.calls.receiveQueue.push_back(datagramReply(kernel.sent[2], 1ms, Router));
    Outcomes outcomes;
    const auto start = Clock::now();
    collectAll(kernel.flight, outcomes);
    ASSERT_EQ(outcomes.byTag.size(), 3u);
    for (const auto tag : {quick, stampedLate, foreign})
        EXPECT_EQ(outcomes.byTag.at(tag).outcome.status, IpStatus::ReqTimedOut) << tag;
    EXPECT_EQ(outcomes.order.front(), stampedLate); // decided by its stamp, at once
    EXPECT_LT(Clock::now() - start, 1s);

    // The quick one's answer, late: the next request does not take it.
    const auto next = kernel.flight.send({Host, Payload, 200ms});
    kernel.calls.receiveQueue.push_back(datagramReply(kernel.sent[0], 30ms));
    kernel.calls.receiveQueue.push_back(datagramReply(kernel.sent[3], 4ms));
    collectAll(kernel.flight, outcomes);
    EXPECT_EQ(outcomes.byTag.at(next).outcome.status, IpStatus::Success);
    EXPECT_EQ(outcomes.byTag.at(next).outcome.roundTrip, 4ms);
}

// A raw socket sees everyone's ICMP: replies are ours by identifier,
// sequence, source and data; errors by the request they quote.
TEST(Flight, SortsARawSocketsTraffic)
{
    Scripted kernel(IcmpSocketKind::Raw);
    const auto toRouter = kernel.flight.send({Host, Payload, 500ms, 1});
    const auto toHost = kernel.flight.send({Host, Payload, 500ms});
    const auto &a = kernel.sent[0];
    const auto &b = kernel.sent[1];
    const auto foreign = icmpMessage(Type::EchoReply, 0, 7, b.sequence, Payload);
    const auto shortened = icmpMessage(Type::EchoReply, 0, b.identifier, b.sequence,
                                       std::span(Payload).first(10));
    const auto reply = icmpMessage(Type::EchoReply, 0, b.identifier, b.sequence, Payload);
    auto &queue = kernel.calls.receiveQueue;
    queue.push_back({ipv4Packet(Host, Us, 1, foreign), Host, b.stamp + 1ms});
    queue.push_back({ipv4Packet(Host, Us, 1, shortened), Host, b.stamp + 2ms});
    queue.push_back({icmpErrorQuoting(Router, Us, Type::TimeExceeded, 0, Host, a.identifier,
                                      a.sequence),
                     Router, a.stamp + 3ms});
    queue.push_back({ipv4Packet(Host, Us, 1, reply), Host, b.stamp + 6ms});
    Outcomes outcomes;
    collectAll(kernel.flight, outcomes);
    EXPECT_EQ(outcomes.byTag.at(toRouter).outcome.status, IpStatus::TtlExpiredTransit);
    EXPECT_EQ(outcomes.byTag.at(toRouter).outcome.message, (icmp::MessageKind{11, 0}));
    EXPECT_EQ(outcomes.byTag.at(toRouter).outcome.responder, Router);
    EXPECT_EQ(outcomes.byTag.at(toHost).outcome.status, IpStatus::Success);
    EXPECT_EQ(outcomes.byTag.at(toHost).outcome.roundTrip, 6ms);
}

// A caller that takes what is in without waiting (no poll to say POLLERR)
// still hears an ICMP error: the receive's errno stands for it.
TEST(Flight, TellsAnErrorToACallerThatDoesNotWait)
{
    Scripted kernel(IcmpSocketKind::Datagram);
    const auto tag = kernel.flight.send({Host, Payload, 500ms});
    ASSERT_EQ(kernel.sent.size(), 1u);
    kernel.calls.errorQueue.push_back(datagramError(kernel.sent[0], 3ms, 3, 1));
    kernel.calls.pendingError = EHOSTUNREACH;
    Outcomes outcomes;
    EXPECT_EQ(kernel.flight.collect(Clock::now(), outcomes), 1u);
    ASSERT_EQ(outcomes.byTag.count(tag), 1u);
    EXPECT_EQ(outcomes.byTag.at(tag).outcome.status, IpStatus::DestHostUnreachable);
    EXPECT_EQ(outcomes.byTag.at(tag).outcome.roundTrip, 3ms);
}

// A request the kernel refuses fails at once as the refusal says; one past
// the room fails as out of resources; neither holds the others up.
TEST(Flight, FailsWhatCannotGoAtOnce)
{
    Scripted kernel(IcmpSocketKind::Datagram);
    kernel.calls.sendError = ENETUNREACH;
    const auto refused = kernel.flight.send({Host, Payload, 500ms});
    kernel.calls.sendError = 0;
    std::vector<net::FlightTag> tags;
    for (std::size_t request = 0; request <= net::EchoFlight::MaxInFlight; ++request)
        tags.push_back(kernel.flight.send({Host, Payload, 10ms}));
    Outcomes outcomes;
    collectAll(kernel.flight, outcomes);
    EXPECT_EQ(outcomes.byTag.at(refused).outcome.status, IpStatus::DestNetUnreachable);
    EXPECT_EQ(outcomes.byTag.at(refused).outcome.origin, FailureOrigin::ThisMachine);
    EXPECT_EQ(outcomes.byTag.at(tags.back()).outcome.status, IpStatus::NoResources);
    EXPECT_EQ(outcomes.byTag.at(tags.front()).outcome.status, IpStatus::ReqTimedOut);
    EXPECT_EQ(outcomes.byTag.size(), tags.size() + 1);
}

// Through real kernels: loopback answers every request of a burst sent
// back to back, and a silent address times out, on both kinds of socket.
struct RealFlight
{
    int answered = 0;
    int timedOut = 0;
    int others = 0;
    bool roundTripsSound = true;
};

RealFlight burstInNamespace(IcmpSocketKind kind)
{
    RealFlight result;
    if (!childprocess::enterNetworkNamespace("0 2147483647").empty() ||
        !childprocess::shell("ip link add ew-near type veth peer name ew-far && "
                             "ip addr add 198.51.100.1/24 dev ew-near && "
                             "ip link set ew-near up && ip link set ew-far up && "
                             "ip neigh add 198.51.100.2 lladdr 02:00:00:00:00:02 dev ew-near "
                             "nud permanent"))
        return {-1, -1, -1, false};
    net::LinuxIcmpEchoLibrary library(kind);
    auto handle = library.IcmpCreateFile().handle;
    if (!handle || handle->flight() == nullptr)
        return {-1, -1, -1, false};
    auto &flight = *handle->flight();
    for (int request = 0; request < 8; ++request)
        flight.send({address("127.0.0.1"), Payload, 300ms});
    flight.send({address("198.51.100.2"), Payload, 100ms});
    Outcomes outcomes;
    collectAll(flight, outcomes);
    for (const auto &[tag, taken] : outcomes.byTag) {
        const auto &outcome = taken.outcome;
        result.answered += outcome.status == IpStatus::Success;
        result.timedOut += outcome.status == IpStatus::ReqTimedOut;
        result.others += outcome.status != IpStatus::Success &&
                         outcome.status != IpStatus::ReqTimedOut;
        if (outcome.status == IpStatus::Success)
            result.roundTripsSound = result.roundTripsSound && outcome.roundTrip > 0ns &&
                                     outcome.roundTrip < 300ms && taken.data == Payload;
    }
    return result;
}

class RealKernel : public testing::TestWithParam<IcmpSocketKind>
{};

TEST_P(RealKernel, AnswersABurstInFlight)
{
    if (!childprocess::isRoot())
        GTEST_SKIP() << "skipped: needs root to make a network namespace";
    std::string failure;
    const auto kind = GetParam();
    const auto result =
        childprocess::runFor<RealFlight>([kind] { return burstInNamespace(kind); }, failure);
    ASSERT_TRUE(result) << failure;
    EXPECT_EQ(result->answered, 8);
    EXPECT_EQ(result->timedOut, 1);
    EXPECT_EQ(result->others, 0);
    EXPECT_TRUE(result->roundTripsSound);
}

INSTANTIATE_TEST_SUITE_P(Sockets, RealKernel,
                         testing::Values(IcmpSocketKind::Datagram, IcmpSocketKind::Raw),
                         [](const auto &info) {
                             return info.param == IcmpSocketKind::Raw ? "raw" : "datagram";
                         });

} // namespace
