// Where an ICMP error puts the way's end, from the bytes up: crafted
// packets (a raw socket's whole IP packets, a ping socket's error-queue
// entries) go through the real requests in flight on a kept socket, the
// prober takes their outcomes, and the verdict names the sender at its own
// hop: time-exceeded for TTL n is hop n; an unreachable from a router is
// that router's hop, whatever TTL it answered; one from the host is the
// host's. Runs without root or a network.
#include "echowatch/icmp/icmp_packet.h"
#include "echowatch/net/icmp_echo_library.h"
#include "echowatch/path/hop_prober.h"
#include "echowatch/path/path_verdict.h"
#include "support/packet_builder.h"
#include "support/scripted_socket_calls.h"

#include <gtest/gtest.h>

#include <optional>
#include <sys/eventfd.h>

namespace {

using namespace std::chrono_literals;
using namespace testpackets;
using fakes::QueuedEntry;
using fakes::ScriptedSocketCalls;
using fakes::SentRequest;
using net::IcmpSocketKind;
namespace Type = icmp::Type;

const std::uint32_t Us = address("192.0.2.10");
const std::uint32_t Router1 = address("192.0.2.1");
const std::uint32_t Router2 = address("198.51.100.2");
const std::uint32_t Host = address("203.0.113.10");
constexpr int HostHop = 3;
constexpr std::uint16_t Identifier = 0x4243;

// What answers a request that got as far as its TTL let it: a router's
// time-exceeded, the host's reply, or an error (type 3, the code) from the
// router or the host that cannot or will not take it further.
struct Break
{
    std::uint32_t sender;
    int fromTtl; // the error answers requests with this TTL and more
    std::uint8_t code;
};

struct Answer
{
    std::uint32_t from;
    std::uint8_t type;
    std::uint8_t code;
};

Answer answerFor(int ttl, const std::optional<Break> &broken)
{
    if (broken && ttl >= broken->fromTtl)
        return {broken->sender, Type::DestinationUnreachable, broken->code};
    if (ttl == 1)
        return {Router1, Type::TimeExceeded, 0};
    if (ttl == 2)
        return {Router2, Type::TimeExceeded, 0};
    return {Host, Type::EchoReply, 0};
}

// As a raw socket reads it: the whole IP packet.
QueuedEntry rawEntry(const SentRequest &s, const Answer &answer)
{
    const auto stamp = s.stamp + 2ms;
    if (answer.type == Type::EchoReply) {
        const auto reply = icmpMessage(Type::EchoReply, 0, s.identifier, s.sequence, s.data);
        return {ipv4Packet(Host, Us, icmp::ProtocolIcmp, reply), Host, stamp};
    }
    return {icmpErrorQuoting(answer.from, Us, answer.type, answer.code, Host, s.identifier,
                             s.sequence),
            answer.from, stamp};
}

// As a ping socket reads it: the reply's ICMP message, or an error-queue
// entry quoting the request with the sender as its offender.
QueuedEntry datagramEntry(const SentRequest &s, const Answer &answer)
{
    const auto stamp = s.stamp + 2ms;
    if (answer.type == Type::EchoReply)
        return {icmpMessage(Type::EchoReply, 0, 0, s.sequence, s.data), Host, stamp, 61};
    QueuedEntry entry{icmpMessage(Type::EchoRequest, 0, 0, s.sequence, s.data), Host, stamp};
    entry.origin = icmp::ErrorOriginIcmp;
    entry.type = answer.type;
    entry.code = answer.code;
    entry.offender = answer.from;
    return entry;
}

struct AttributionCase
{
    const char *name;
    std::optional<Break> broken;
    const char *verdict;
};

class HopAttribution
    : public testing::TestWithParam<std::tuple<AttributionCase, IcmpSocketKind>>
{};

TEST_P(HopAttribution, PutsTheSenderAtItsOwnHop)
{
    const auto &[attribution, kind] = GetParam();
    ScriptedSocketCalls calls;
    calls.onSend = [&, kind = kind](const SentRequest &s, ScriptedSocketCalls &c) {
        const auto answer = answerFor(s.ttl, attribution.broken);
        if (kind == IcmpSocketKind::Raw)
            c.receiveQueue.push_back(rawEntry(s, answer));
        else if (answer.type == Type::EchoReply)
            c.receiveQueue.push_back(datagramEntry(s, answer));
        else
            c.errorQueue.push_back(datagramEntry(s, answer));
    };
    net::LinuxIcmpEchoLibrary library(
        net::IcmpSocket::adopt(::eventfd(0, EFD_CLOEXEC), kind, Identifier, true), &calls);
    auto handle = library.IcmpCreateFile().handle;
    ASSERT_NE(handle->flight(), nullptr);
    path::SteadyPaceClock clock;
    path::HopProber prober(*handle, clock, {.timeout = 100ms});
    ASSERT_TRUE(prober.runTrace(Host, 3, HostHop));
    const auto verdict = path::judgeTrace(prober.table(), HostHop);
    EXPECT_EQ(verdict.words, attribution.verdict);
    EXPECT_EQ(prober.table().hops.at(0).responder(), Router1);
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, HopAttribution,
    testing::Combine(
        testing::Values(
            AttributionCase{"hostAnswers", std::nullopt, "the host answered at hop 3"},
            AttributionCase{"routerCannotReachTheHost", Break{Router2, 3, 1},
                            "router 198.51.100.2 (hop 2) cannot reach the host (host "
                            "unreachable)"},
            AttributionCase{"routerRefuses", Break{Router2, 3, 13},
                            "router 198.51.100.2 (hop 2) refuses the request (administratively "
                            "prohibited)"},
            AttributionCase{"routerNeedsFragments", Break{Router2, 3, 4},
                            "router 198.51.100.2 (hop 2) cannot pass the request on "
                            "unfragmented (fragmentation needed)"},
            AttributionCase{"routerKnowsNoNetwork", Break{Router2, 3, 0},
                            "router 198.51.100.2 (hop 2) cannot reach the host's network "
                            "(network unreachable)"},
            AttributionCase{"routerPassesNoIcmp", Break{Router2, 3, 2},
                            "router 198.51.100.2 (hop 2) cannot pass ICMP on (protocol "
                            "unreachable)"},
            AttributionCase{"hostItselfUnreachable", Break{Host, 3, 1},
                            "the host 203.0.113.10 (hop 3) rejects the request (host "
                            "unreachable)"},
            AttributionCase{"hostRefuses", Break{Host, 3, 10},
                            "the host 203.0.113.10 (hop 3) refuses the request (host "
                            "administratively prohibited)"},
            // The first router has no route: it never passes a request on,
            // not even to run out at the next hop.
            AttributionCase{"firstRouterWithoutARoute", Break{Router1, 1, 0},
                            "router 192.0.2.1 (hop 1) cannot reach the host's network (network "
                            "unreachable)"}),
        testing::Values(IcmpSocketKind::Raw, IcmpSocketKind::Datagram)),
    [](const auto &info) {
        return std::string(std::get<0>(info.param).name) +
               (std::get<1>(info.param) == IcmpSocketKind::Raw ? "Raw" : "Datagram");
    });

} // namespace
