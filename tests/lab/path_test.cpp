// Tracing the path through the chained lab (run_lab.sh --chain): requests
// limited by TTL run out at the right router on every way of sending, and
// the hop prober, over the real echo service, finds the hops and names
// where a break is, but not a router that rations its answers.
#include "echowatch/net/ipv4_text.h"
#include "lab_fixture.h"
#include "lab_network.h"

#include "echowatch/helper/automatic_echo_library.h"
#include "echowatch/icmp/ip_status.h"
#include "echowatch/net/user_pace.h"
#include "echowatch/path/hop_prober.h"
#include "echowatch/path/path_verdict.h"
#include "support/packet_builder.h"
#include "support/real_probe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>

namespace lab {
namespace {

using namespace std::chrono_literals;
using helper::SocketKindChoice;
namespace IpStatus = icmp::IpStatus;

std::uint32_t addressOf(std::string_view text)
{
    return testpackets::address(std::string(text).c_str());
}

// Runs a command in one of the lab's namespaces; whether it succeeded.
bool inNamespace(const std::string &lab, std::string_view role, const std::string &command)
{
    const std::string line = "ip netns exec " + labNamespace(lab, role) + " " + command;
    return std::system(line.c_str()) == 0;
}

const char *wayName(SocketKindChoice way)
{
    switch (way) {
    case SocketKindChoice::DatagramOnly:
        return "datagram";
    case SocketKindChoice::RawOnly:
        return "raw";
    case SocketKindChoice::HelperOnly:
        return "helper";
    case SocketKindChoice::Automatic:
        break;
    }
    return "automatic";
}

class ChainTest : public LabTest
{
protected:
    void SetUp() override
    {
        LabTest::SetUp();
        if (IsSkipped())
            return;
        if (!std::filesystem::exists("/run/netns/" + labNamespace(m_lab, "r2")))
            GTEST_SKIP() << "skipped: not in a chained lab; run through run_lab.sh --chain";
    }
    // What a test changed in a namespace is put back, pass or fail.
    void TearDown() override
    {
        for (const auto &[role, command] : m_undo)
            inNamespace(m_lab, role, command);
    }
    void change(std::string_view role, const std::string &command, std::string undo)
    {
        ASSERT_TRUE(inNamespace(m_lab, role, command)) << command;
        m_undo.emplace_back(std::string(role), std::move(undo));
    }
    void dropEchoRequestsIn(std::string_view role, std::string_view hook)
    {
        change(role,
               "nft 'add table ip pathlab; add chain ip pathlab c { type filter hook " +
                   std::string(hook) + " priority 0; }; add rule ip pathlab c ip daddr " +
                   std::string(ChainAddress::Host) + " icmp type echo-request drop'",
               "nft delete table ip pathlab");
    }

    std::vector<std::pair<std::string, std::string>> m_undo;
};

class TtlOnEveryPath : public ChainTest, public testing::WithParamInterface<SocketKindChoice>
{};

TEST_P(TtlOnEveryPath, RunsOutAtTheRightRouter)
{
    auto library = helper::makeEchoLibrary(GetParam(), RealProbe::builtHelperPath());
    auto opening = library->IcmpCreateFile();
    ASSERT_TRUE(opening.handle) << opening.failureStatus;
    const auto data = testpackets::bytesOf(TestPayload);
    const struct
    {
        net::TimeToLive ttl;
        std::int32_t status;
        std::string_view from;
    } probes[] = {
        {1, IpStatus::TtlExpiredTransit, ChainAddress::Hop1},
        {2, IpStatus::TtlExpiredTransit, ChainAddress::Hop2},
        {net::SystemTtl, IpStatus::Success, ChainAddress::Host},
        {3, IpStatus::TtlExpiredTransit, ChainAddress::Hop3},
        {4, IpStatus::Success, ChainAddress::Host},
        {1, IpStatus::TtlExpiredTransit, ChainAddress::Hop1},
    };
    for (const auto &probe : probes) {
        const auto outcome =
            opening.handle->echo(addressOf(ChainAddress::Host), data, 500ms, probe.ttl);
        EXPECT_EQ(outcome.status, probe.status) << "ttl " << int(probe.ttl);
        EXPECT_EQ(net::ipv4Text(outcome.responder), probe.from) << "ttl " << int(probe.ttl);
        EXPECT_GT(outcome.roundTrip, 0ns) << "ttl " << int(probe.ttl);
        EXPECT_LT(outcome.roundTrip, 500ms) << "ttl " << int(probe.ttl);
    }
    // The window's own probe keeps the system's TTL: the host's reply comes
    // back over three routers.
    const auto reply = opening.handle->echo(addressOf(ChainAddress::Host), data, 500ms);
    EXPECT_EQ(reply.status, IpStatus::Success);
    EXPECT_EQ(path::hostHopFromReplyTtl(reply.ttl), ChainAddress::HostHop);
}

INSTANTIATE_TEST_SUITE_P(Chain, TtlOnEveryPath,
                         testing::Values(SocketKindChoice::DatagramOnly, SocketKindChoice::RawOnly,
                                         SocketKindChoice::HelperOnly),
                         [](const auto &info) { return std::string(wayName(info.param)); });

class ChainPath : public ChainTest
{
protected:
    void SetUp() override
    {
        ChainTest::SetUp();
        if (IsSkipped())
            return;
        m_library = helper::makeEchoLibrary(way(), RealProbe::builtHelperPath());
        m_handle = m_library->IcmpCreateFile().handle;
        ASSERT_TRUE(m_handle);
    }

    path::HopProber prober(path::ProberSettings settings = {})
    {
        return path::HopProber(*m_handle, m_clock, settings);
    }
    std::string traceVerdict(int hostHop)
    {
        auto tracer = prober();
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(tracer.runTrace(addressOf(ChainAddress::Host), 3, hostHop));
        m_traceTook = std::chrono::steady_clock::now() - start;
        m_trace = tracer.table();
        return path::judgeTrace(m_trace, hostHop).words;
    }
    virtual SocketKindChoice way() const { return SocketKindChoice::Automatic; }

    std::unique_ptr<net::IcmpEchoLibrary> m_library;
    net::IcmpHandle m_handle;
    path::SteadyPaceClock m_clock;
    path::PathTable m_trace;
    std::chrono::steady_clock::duration m_traceTook{};
};

TEST_F(ChainPath, TheProberFindsTheHops)
{
    auto watch = prober();
    ASSERT_TRUE(watch.runRound(addressOf(ChainAddress::Host)));
    const auto &hops = watch.table().hops;
    ASSERT_EQ(hops.size(), 4u);
    EXPECT_EQ(net::ipv4Text(hops[0].responder()), ChainAddress::Hop1);
    EXPECT_EQ(net::ipv4Text(hops[1].responder()), ChainAddress::Hop2);
    EXPECT_EQ(net::ipv4Text(hops[2].responder()), ChainAddress::Hop3);
    EXPECT_EQ(net::ipv4Text(hops[3].responder()), ChainAddress::Host);
    EXPECT_EQ(watch.table().hostHop(), ChainAddress::HostHop);
    for (const auto &hop : hops)
        EXPECT_EQ(hop.lost, 0);
    EXPECT_EQ(traceVerdict(0), "the host answered at hop 4");
}

TEST_F(ChainPath, ABreakAfterTheSecondRouterNamesHop2)
{
    dropEchoRequestsIn("r2", "forward");
    const auto verdict = traceVerdict(ChainAddress::HostHop);
    std::cout << "verdict: " << verdict << "\n";
    EXPECT_EQ(verdict, "stops after hop 2 (192.0.2.18)");
}

TEST_F(ChainPath, ADropAtTheHostBlamesTheHost)
{
    dropEchoRequestsIn("host", "input");
    const auto verdict = traceVerdict(ChainAddress::HostHop);
    std::cout << "verdict: " << verdict << "\n";
    EXPECT_EQ(verdict, "every hop answered up to the host; the host did not");
}

// The second router answers six requests that run out there, then one in
// ten seconds: rounds show loss at hop 2 alone, and a trace while it is
// silent still blames the host, not hop 2.
TEST_F(ChainPath, ARationingRouterIsNotNamed)
{
    change("r2", "sysctl -q -w net.ipv4.icmp_ratelimit=10000 net.ipv4.icmp_ratemask=6168",
           "sysctl -q -w net.ipv4.icmp_ratelimit=0 net.ipv4.icmp_ratemask=0");
    auto watch = prober({.roundSpacing = 0ms});
    const auto host = addressOf(ChainAddress::Host);
    for (int round = 0; round < 20; ++round) {
        ASSERT_TRUE(watch.runRound(host));
        if (watch.table().hops.at(1).lost >= 3)
            break;
    }
    const auto &hops = watch.table().hops;
    ASSERT_EQ(hops.size(), 4u);
    EXPECT_GE(hops[1].lost, 3);
    EXPECT_EQ(hops[2].lost, 0);
    EXPECT_EQ(hops[3].lost, 0);
    std::cout << "hop 2: " << hops[1].sent << " sent, " << hops[1].lost << " lost\n";

    dropEchoRequestsIn("host", "input");
    const auto verdict = traceVerdict(ChainAddress::HostHop);
    std::cout << "verdict: " << verdict << "\n";
    EXPECT_EQ(m_trace.hops.at(1).answered(), 0) << "hop 2 was not silent in the trace";
    EXPECT_EQ(verdict, "every hop answered up to the host; the host did not");
}

// A break named by the router or host that sent the ICMP error, at its own
// hop, on every way of sending: the error answers requests that went past
// the sender, and the sender is put where it answered time-exceeded.
class ChainError : public ChainPath, public testing::WithParamInterface<SocketKindChoice>
{
protected:
    SocketKindChoice way() const override { return GetParam(); }
    void report(const std::string &verdict)
    {
        std::cout << wayName(GetParam()) << ": \"" << verdict << "\" in "
                  << std::chrono::duration<double, std::milli>(m_traceTook).count() << " ms\n";
        for (std::size_t hop = 0; hop < m_trace.hops.size(); ++hop)
            std::cout << "  " << hop + 1 << " " << net::ipv4Text(m_trace.hops[hop].responder())
                      << (m_trace.hops[hop].endedByError ? " (error)" : "") << "\n";
    }
};

// The host's link goes down behind the last router, which answers host
// unreachable once its address look-up fails (made to fail within 100 ms
// here, where it takes 3 s by default): the router is named at hop 3, where
// it answered time-exceeded, not at the TTL its error answered.
TEST_P(ChainError, TheHostsLinkDownIsTheLastRoutersHostUnreachable)
{
    change("r3",
           "sysctl -q -w net.ipv4.neigh.d1.mcast_solicit=1 net.ipv4.neigh.d1.retrans_time_ms=100",
           "sysctl -q -w net.ipv4.neigh.d1.mcast_solicit=3 net.ipv4.neigh.d1.retrans_time_ms=1000");
    change("host", "ip link set h0 down",
           "sh -c 'ip link set h0 up && ip route replace 192.0.2.0/24 via 203.0.113.1 && "
           "ip route replace 198.51.100.0/28 via 203.0.113.1'");
    const auto verdict = traceVerdict(ChainAddress::HostHop);
    report(verdict);
    EXPECT_EQ(verdict, "router 198.51.100.2 (hop 3) cannot reach the host (host unreachable)");
}

TEST_P(ChainError, ARouterThatProhibitsIsNamedAtItsHop)
{
    change("r2",
           "nft 'add table ip pathlab; add chain ip pathlab c { type filter hook forward "
           "priority 0; }; add rule ip pathlab c ip daddr 203.0.113.10 icmp type echo-request "
           "reject with icmp type admin-prohibited'",
           "nft delete table ip pathlab");
    const auto verdict = traceVerdict(ChainAddress::HostHop);
    report(verdict);
    EXPECT_EQ(verdict,
              "router 192.0.2.18 (hop 2) refuses the request (administratively prohibited)");
}

TEST_P(ChainError, AHostThatSaysItIsUnreachableIsTheHost)
{
    change("host",
           "nft 'add table ip pathlab; add chain ip pathlab c { type filter hook input "
           "priority 0; }; add rule ip pathlab c icmp type echo-request "
           "reject with icmp type host-unreachable'",
           "nft delete table ip pathlab");
    const auto verdict = traceVerdict(ChainAddress::HostHop);
    report(verdict);
    EXPECT_EQ(verdict, "the host 203.0.113.10 (hop 4) rejects the request (host unreachable)");
}

INSTANTIATE_TEST_SUITE_P(Chain, ChainError,
                         testing::Values(SocketKindChoice::DatagramOnly, SocketKindChoice::RawOnly,
                                         SocketKindChoice::HelperOnly),
                         [](const auto &info) { return std::string(wayName(info.param)); });

// Every TTL in flight: the first round to a host behind three routers takes
// about one round trip and the pace of its four requests, not four waits.
TEST_F(ChainPath, TheFirstRoundTakesOneRoundTripAndThePace)
{
    auto watch = prober();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(watch.runRound(addressOf(ChainAddress::Host)));
    const auto took = std::chrono::steady_clock::now() - start;
    std::cout << "first round: " << std::chrono::duration<double, std::milli>(took).count()
              << " ms\n";
    EXPECT_EQ(watch.table().hostHop(), ChainAddress::HostHop);
    // Four requests, the first three of them answered by time-exceeded alone.
    EXPECT_GE(took, 3 * net::UserPace::UnansweredSpacing);
}

} // namespace
} // namespace lab
