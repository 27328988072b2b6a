// The wait on a kept socket, driven through a scripted kernel: which arrival
// decides a probe, what is passed by, and where its times come from. Runs
// without root or a network.
#include "echowatch/icmp/icmp_packet.h"
#include "echowatch/icmp/ip_status.h"
#include "echowatch/net/icmp_echo_library.h"
#include "echowatch/net/kernel_time.h"
#include "support/echo_record.h"
#include "support/packet_builder.h"
#include "support/scripted_socket_calls.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <poll.h>
#include <sys/eventfd.h>

namespace {

using namespace std::chrono_literals;
using namespace testpackets;
using fakes::QueuedEntry;
using fakes::ScriptedSocketCalls;
using fakes::SentRequest;
namespace IpStatus = icmp::IpStatus;
namespace Type = icmp::Type;

const std::uint32_t Host = address("198.51.100.7");
const std::uint32_t Router = address("203.0.113.1");
const std::uint32_t Us = address("192.0.2.10");
const Bytes Payload = bytesOf(TestPayload);
constexpr std::uint16_t Identifier = 0x4242;

// What a ping socket hands over: the ICMP message only, from source.
QueuedEntry datagramReply(std::uint16_t sequence, std::chrono::nanoseconds stamp,
                          std::uint32_t source = Host)
{
    return {icmpMessage(Type::EchoReply, 0, 0, sequence, Payload), source, stamp, 57};
}

// A ping socket's error-queue entry about the request with sequence.
QueuedEntry datagramError(std::uint16_t sequence, std::chrono::nanoseconds stamp)
{
    QueuedEntry entry{icmpMessage(Type::EchoRequest, 0, 0, sequence, Payload), Host, stamp};
    entry.origin = icmp::ErrorOriginIcmp;
    entry.type = Type::DestinationUnreachable;
    entry.code = 1;
    entry.offender = Router;
    return entry;
}

// As the kernel queues an ICMP error on a ping socket: on the error queue,
// and as the errno the next receive fails with, before any reply it holds.
void queueError(ScriptedSocketCalls &calls, QueuedEntry entry)
{
    calls.errorQueue.push_back(std::move(entry));
    calls.pendingError = EHOSTUNREACH;
}

QueuedEntry rawPacket(Bytes packet, std::chrono::nanoseconds stamp)
{
    return {std::move(packet), Host, stamp};
}

using Script = std::function<void(const SentRequest &, ScriptedSocketCalls &)>;

struct WaitCase
{
    const char *name;
    net::IcmpSocketKind kind;
    Script script;
    std::int32_t status;
    std::chrono::nanoseconds roundTrip; // NoRoundTrip where nothing decided it
    std::uint32_t responder;
    net::FailureOrigin origin;
};

class ScriptedWait : public testing::TestWithParam<WaitCase>
{};

net::LinuxIcmpEchoLibrary keptLibrary(net::IcmpSocketKind kind, ScriptedSocketCalls &calls)
{
    const int descriptor = ::eventfd(0, EFD_CLOEXEC);
    return net::LinuxIcmpEchoLibrary(net::IcmpSocket::adopt(descriptor, kind, Identifier, true),
                                     &calls);
}

TEST_P(ScriptedWait, DecidesAsTheKernelStampedIt)
{
    ScriptedSocketCalls calls;
    calls.onSend = GetParam().script;
    auto library = keptLibrary(GetParam().kind, calls);
    const auto outcome = library.IcmpCreateFile().handle->echo(Host, Payload, 40ms);
    EXPECT_EQ(outcome.status, GetParam().status);
    EXPECT_EQ(outcome.roundTrip, GetParam().roundTrip);
    EXPECT_EQ(outcome.responder, GetParam().responder);
    EXPECT_EQ(outcome.origin, GetParam().origin);
    EXPECT_EQ(calls.sends, 1);
}

using net::FailureOrigin;
using net::IcmpSocketKind;
constexpr auto None = net::EchoOutcome::NoRoundTrip;

std::vector<WaitCase> waitCases()
{
    return {
        {"answer", IcmpSocketKind::Datagram,
         [](const SentRequest &s, ScriptedSocketCalls &c) {
             c.receiveQueue.push_back(datagramReply(s.sequence, s.stamp + 3'217us));
         },
         IpStatus::Success, 3'217us, Host, FailureOrigin::None},
        {"lateAnswerToTheProbeBefore", IcmpSocketKind::Datagram,
         [](const SentRequest &s, ScriptedSocketCalls &c) {
             c.receiveQueue.push_back(datagramReply(s.sequence - 1, s.stamp + 1ms));
         },
         IpStatus::ReqTimedOut, None, 0, FailureOrigin::None},
        {"lateAnswerThenOurs", IcmpSocketKind::Datagram,
         [](const SentRequest &s, ScriptedSocketCalls &c) {
             c.receiveQueue.push_back(datagramReply(s.sequence - 1, s.stamp + 1ms));
             c.receiveQueue.push_back(datagramReply(s.sequence, s.stamp + 2ms));
         },
         IpStatus::Success, 2ms, Host, FailureOrigin::None},
        {"ourSequenceFromAnotherHost", IcmpSocketKind::Datagram,
         [](const SentRequest &s, ScriptedSocketCalls &c) {
             c.receiveQueue.push_back(datagramReply(s.sequence, s.stamp + 1ms, Router));
         },
         IpStatus::ReqTimedOut, None, 0, FailureOrigin::None},
        {"errorThenAnswer", IcmpSocketKind::Datagram,
         [](const SentRequest &s, ScriptedSocketCalls &c) {
             c.receiveQueue.push_back(datagramReply(s.sequence, s.stamp + 4ms));
             queueError(c, datagramError(s.sequence, s.stamp + 2ms));
         },
         IpStatus::DestHostUnreachable, 2ms, Router, FailureOrigin::IcmpMessage},
        {"answerThenError", IcmpSocketKind::Datagram,
         [](const SentRequest &s, ScriptedSocketCalls &c) {
             c.receiveQueue.push_back(datagramReply(s.sequence, s.stamp + 2ms));
             queueError(c, datagramError(s.sequence, s.stamp + 4ms));
         },
         IpStatus::Success, 2ms, Host, FailureOrigin::None},
        {"errorAboutTheProbeBefore", IcmpSocketKind::Datagram,
         [](const SentRequest &s, ScriptedSocketCalls &c) {
             queueError(c, datagramError(s.sequence - 1, s.stamp + 1ms));
         },
         IpStatus::ReqTimedOut, None, 0, FailureOrigin::None},
        {"answerStampedPastTheTimeout", IcmpSocketKind::Datagram,
         [](const SentRequest &s, ScriptedSocketCalls &c) {
             c.receiveQueue.push_back(datagramReply(s.sequence, s.stamp + 41ms));
         },
         IpStatus::ReqTimedOut, None, 0, FailureOrigin::None},
        {"errnoWithoutItsQueueEntry", IcmpSocketKind::Datagram,
         [](const SentRequest &, ScriptedSocketCalls &c) { c.pendingError = ECONNREFUSED; },
         IpStatus::DestPortUnreachable, None, 0, FailureOrigin::IcmpMessage},
        {"rawAnswerAmongForeignTraffic", IcmpSocketKind::Raw,
         [](const SentRequest &s, ScriptedSocketCalls &c) {
             const auto reply = icmpMessage(Type::EchoReply, 0, s.identifier, s.sequence, Payload);
             const auto foreign = icmpMessage(Type::EchoReply, 0, 7, s.sequence, Payload);
             c.receiveQueue.push_back(rawPacket(ipv4Packet(Host, Us, 1, foreign), s.stamp + 1ms));
             c.receiveQueue.push_back(rawPacket(ipv4Packet(Host, Us, 1, reply), s.stamp + 5ms));
         },
         IpStatus::Success, 5ms, Host, FailureOrigin::None},
        {"rawErrorAboutOurRequest", IcmpSocketKind::Raw,
         [](const SentRequest &s, ScriptedSocketCalls &c) {
             c.receiveQueue.push_back(rawPacket(icmpErrorQuoting(Router, Us, Type::TimeExceeded, 0,
                                                                 Host, s.identifier, s.sequence),
                                                s.stamp + 7ms));
         },
         IpStatus::TtlExpiredTransit, 7ms, Router, FailureOrigin::IcmpMessage},
    };
}

INSTANTIATE_TEST_SUITE_P(Queues, ScriptedWait, testing::ValuesIn(waitCases()),
                         [](const auto &info) { return std::string(info.param.name); });

// Whatever sat in the queues before the send belongs to earlier probes, even
// an answer that would match: it is cleared before the request goes out.
TEST(KeptSocket, WhatCameBeforeTheSendIsNeverCredited)
{
    ScriptedSocketCalls calls;
    auto library = keptLibrary(IcmpSocketKind::Datagram, calls);
    auto handle = library.IcmpCreateFile().handle;
    std::uint16_t sequence = 0;
    calls.onSend = [&](const SentRequest &s, ScriptedSocketCalls &) {
        sequence = s.sequence;
    };
    EXPECT_EQ(handle->echo(Host, Payload, 20ms).status, IpStatus::ReqTimedOut);
    const auto now = net::realtimeNow();
    calls.receiveQueue.push_back(datagramReply(sequence + 1, now));
    queueError(calls, datagramError(sequence + 1, now));
    EXPECT_EQ(handle->echo(Host, Payload, 20ms).status, IpStatus::ReqTimedOut);
    EXPECT_EQ(calls.sends, 2);
}

// A path of two routers before the host, as the kernel would answer a
// request that runs out of TTL on it: the hop where it ran out sends
// time-exceeded quoting it. The system's TTL always reaches the host.
void forwardByTtl(IcmpSocketKind kind, const SentRequest &s, ScriptedSocketCalls &c)
{
    const std::uint32_t routers[] = {address("203.0.113.1"), address("203.0.113.2")};
    const auto at = s.stamp + 2ms;
    if (s.ttl == net::SystemTtl || s.ttl > 2) {
        const auto reply = icmpMessage(Type::EchoReply, 0, s.identifier, s.sequence, Payload);
        c.receiveQueue.push_back(kind == IcmpSocketKind::Raw
                                     ? rawPacket(ipv4Packet(Host, Us, 1, reply), at)
                                     : datagramReply(s.sequence, at));
        return;
    }
    const std::uint32_t router = routers[s.ttl - 1];
    if (kind == IcmpSocketKind::Raw) {
        c.receiveQueue.push_back(rawPacket(
            icmpErrorQuoting(router, Us, Type::TimeExceeded, 0, Host, s.identifier, s.sequence),
            at));
        return;
    }
    QueuedEntry entry = datagramError(s.sequence, at);
    entry.type = Type::TimeExceeded;
    entry.code = 0;
    entry.offender = router;
    queueError(c, std::move(entry));
}

class TtlOnKeptSocket : public testing::TestWithParam<IcmpSocketKind>
{};

// Each request carries its own TTL to the send, and one probe's TTL never
// stays behind for the next on the same socket.
TEST_P(TtlOnKeptSocket, EachRequestRunsOutWhereItsOwnTtlSays)
{
    ScriptedSocketCalls calls;
    std::vector<net::TimeToLive> sentTtls;
    calls.onSend = [&](const SentRequest &s, ScriptedSocketCalls &c) {
        sentTtls.push_back(s.ttl);
        forwardByTtl(GetParam(), s, c);
    };
    auto library = keptLibrary(GetParam(), calls);
    auto handle = library.IcmpCreateFile().handle;
    const struct
    {
        net::TimeToLive ttl;
        std::int32_t status;
        std::uint32_t responder;
    } probes[] = {
        {1, IpStatus::TtlExpiredTransit, address("203.0.113.1")},
        {2, IpStatus::TtlExpiredTransit, address("203.0.113.2")},
        {net::SystemTtl, IpStatus::Success, Host},
        {3, IpStatus::Success, Host},
        {1, IpStatus::TtlExpiredTransit, address("203.0.113.1")},
    };
    for (const auto &probe : probes) {
        const auto outcome = handle->echo(Host, Payload, 40ms, probe.ttl);
        EXPECT_EQ(outcome.status, probe.status) << int(probe.ttl);
        EXPECT_EQ(outcome.responder, probe.responder) << int(probe.ttl);
        EXPECT_EQ(outcome.roundTrip, 2ms) << int(probe.ttl);
    }
    EXPECT_EQ(sentTtls, (std::vector<net::TimeToLive>{1, 2, net::SystemTtl, 3, 1}));
    // The window's own probes leave with the system's TTL.
    std::array<std::byte, 128> record{};
    handle->IcmpSendEcho(Host, Payload, record, 40ms);
    EXPECT_EQ(sentTtls.back(), net::SystemTtl);
}

INSTANTIATE_TEST_SUITE_P(Kinds, TtlOnKeptSocket,
                         testing::Values(IcmpSocketKind::Datagram, IcmpSocketKind::Raw),
                         [](const auto &info) {
                             return info.param == IcmpSocketKind::Raw ? "raw" : "datagram";
                         });

// A socket that is gone is let go of, so that the library opens another; a
// refusal of this one request leaves it in place.
struct FailureCase
{
    const char *name;
    int sendError;
    short pollEvents;
    std::int32_t status;
    bool socketKept;
};

class KeptSocketFailure : public testing::TestWithParam<FailureCase>
{};

TEST_P(KeptSocketFailure, DropsTheSocketOnlyWhenItIsGone)
{
    ScriptedSocketCalls calls;
    calls.sendError = GetParam().sendError;
    calls.pollEvents = GetParam().pollEvents;
    calls.stampSends = false;
    auto library = keptLibrary(IcmpSocketKind::Datagram, calls);
    const auto outcome = library.IcmpCreateFile().handle->echo(Host, Payload, 20ms);
    EXPECT_EQ(outcome.status, GetParam().status);
    EXPECT_EQ(outcome.origin, FailureOrigin::ThisMachine);
    EXPECT_EQ(library.hasSocket(), GetParam().socketKept);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, KeptSocketFailure,
    testing::Values(FailureCase{"noRoute", ENETUNREACH, 0, IpStatus::DestNetUnreachable, true},
                    FailureCase{"queueFull", ENOBUFS, 0, IpStatus::NoResources, true},
                    FailureCase{"closedUnderUs", EBADF, 0, IpStatus::GeneralFailure, false},
                    FailureCase{"pollSaysInvalid", 0, POLLNVAL, IpStatus::GeneralFailure, false},
                    FailureCase{"pollSaysHungUp", 0, POLLHUP, IpStatus::GeneralFailure, false}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
