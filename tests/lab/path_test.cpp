// Tracing the path through the chained lab (run_lab.sh --chain): requests
// limited by TTL run out at the right router on every way of sending, and
// the hop prober, over the real echo service, finds the hops and names
// where a break is, but not a router that rations its answers.
#include "echowatch/net/ipv4_text.h"
#include "lab_fixture.h"
#include "lab_network.h"

#include "echowatch/helper/automatic_echo_library.h"
#include "echowatch/icmp/ip_status.h"
#include "echowatch/path/hop_prober.h"
#include "echowatch/path/path_verdict.h"
#include "support/packet_builder.h"
#include "support/real_probe.h"

#include <gtest/gtest.h>

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
                         [](const auto &info) {
                             switch (info.param) {
                             case SocketKindChoice::DatagramOnly:
                                 return "datagram";
                             case SocketKindChoice::RawOnly:
                                 return "raw";
                             default:
                                 return "helper";
                             }
                         });

class ChainPath : public ChainTest
{
protected:
    void SetUp() override
    {
        ChainTest::SetUp();
        if (IsSkipped())
            return;
        m_library =
            helper::makeEchoLibrary(SocketKindChoice::Automatic, RealProbe::builtHelperPath());
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
        EXPECT_TRUE(tracer.runTrace(addressOf(ChainAddress::Host), 3, hostHop));
        m_trace = tracer.table();
        return path::verdictText(path::judgeTrace(m_trace, hostHop));
    }

    std::unique_ptr<net::IcmpEchoLibrary> m_library;
    net::IcmpHandle m_handle;
    path::SteadyPaceClock m_clock;
    path::PathTable m_trace;
};

TEST_F(ChainPath, TheProberFindsTheHops)
{
    auto watch = prober();
    ASSERT_TRUE(watch.runRound(addressOf(ChainAddress::Host)));
    const auto &hops = watch.table().hops;
    ASSERT_EQ(hops.size(), 4u);
    EXPECT_EQ(net::ipv4Text(hops[0].responder), ChainAddress::Hop1);
    EXPECT_EQ(net::ipv4Text(hops[1].responder), ChainAddress::Hop2);
    EXPECT_EQ(net::ipv4Text(hops[2].responder), ChainAddress::Hop3);
    EXPECT_EQ(net::ipv4Text(hops[3].responder), ChainAddress::Host);
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

} // namespace
} // namespace lab
