#include "echowatch/icmp/ip_status.h"
#include "support/child_process.h"
#include "support/real_probe.h"

#include <gtest/gtest.h>

// Real echoes through the kernel. Each case runs in a child with a network
// namespace of its own, so ping sockets can be opened there and unanswered
// addresses exist without touching the machine's own network; only root can
// make one.

namespace {

namespace IpStatus = icmp::IpStatus;
using helper::SocketKindChoice;

// In the child's namespace: a link to 198.51.100.0/24 whose far end has no
// address, with a fixed neighbour entry so no ARP failure turns the silence
// into an error. A probe there gets no answer at all.
constexpr const char *SilentLink =
    "ip link add ew-near type veth peer name ew-far && "
    "ip addr add 198.51.100.1/24 dev ew-near && ip link set ew-near up && "
    "ip link set ew-far up && "
    "ip neigh add 198.51.100.2 lladdr 02:00:00:00:00:02 dev ew-near nud permanent";

struct LoopbackCase
{
    const char *name;
    SocketKindChoice kinds;
    const char *address;
    std::int32_t status;
};

class RealEcho : public testing::TestWithParam<LoopbackCase>
{
protected:
    void SetUp() override
    {
        if (!childprocess::isRoot())
            GTEST_SKIP() << "skipped: needs root to make a network namespace";
    }
};

std::string enterNamespaceWithSilentLink()
{
    const std::string error = childprocess::enterNetworkNamespace("0 2147483647");
    if (!error.empty())
        return error;
    return childprocess::shell(SilentLink) ? std::string() : "could not add the silent link";
}

TEST_P(RealEcho, ProducesTheOutcomeTheKernelReports)
{
    const ProbeRun run =
        probeInChild(enterNamespaceWithSilentLink, GetParam().address, GetParam().kinds);
    ASSERT_STREQ(run.setupError, "");
    EXPECT_EQ(run.status, GetParam().status);
    if (run.status == IpStatus::Success) {
        EXPECT_EQ(run.dataSize, 32);
        EXPECT_TRUE(run.payloadEchoed);
        EXPECT_LT(run.roundTripTime, 500u);
    } else {
        EXPECT_EQ(run.dataSize, 0);
        EXPECT_EQ(run.roundTripTime, 0u);
    }
    if (run.status == IpStatus::ReqTimedOut) {
        EXPECT_GE(run.elapsedMilliseconds, 500);
    } else {
        EXPECT_LT(run.elapsedMilliseconds, 500);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Loopback, RealEcho,
    testing::Values(LoopbackCase{"datagramAnswered", SocketKindChoice::DatagramOnly, "127.0.0.1",
                                 0},
                    LoopbackCase{"rawAnswered", SocketKindChoice::RawOnly, "127.0.0.1", 0},
                    LoopbackCase{"automaticAnswered", SocketKindChoice::Automatic, "127.3.2.1", 0},
                    LoopbackCase{"datagramSilence", SocketKindChoice::DatagramOnly, "198.51.100.2",
                                 IpStatus::ReqTimedOut},
                    LoopbackCase{"rawSilence", SocketKindChoice::RawOnly, "198.51.100.2",
                                 IpStatus::ReqTimedOut},
                    LoopbackCase{"datagramNoRoute", SocketKindChoice::DatagramOnly, "203.0.113.5",
                                 IpStatus::DestNetUnreachable},
                    LoopbackCase{"rawNoRoute", SocketKindChoice::RawOnly, "203.0.113.5",
                                 IpStatus::DestNetUnreachable},
                    LoopbackCase{"datagramBroadcast", SocketKindChoice::DatagramOnly,
                                 "198.51.100.255", IpStatus::BadDestination},
                    LoopbackCase{"rawBroadcast", SocketKindChoice::RawOnly, "127.255.255.255",
                                 IpStatus::BadDestination},
                    LoopbackCase{"datagramAnyAddress", SocketKindChoice::DatagramOnly, "0.0.0.0",
                                 IpStatus::BadDestination},
                    LoopbackCase{"rawAnyAddress", SocketKindChoice::RawOnly, "0.0.0.0",
                                 IpStatus::BadDestination}),
    [](const auto &info) { return std::string(info.param.name); });

// The program's own path: as root in the machine's namespace, where Debian
// keeps ping sockets closed, the raw socket answers.
TEST(RealEchoHere, RootReachesLoopbackThroughTheFallback)
{
    if (!childprocess::isRoot())
        GTEST_SKIP() << "skipped: needs root for a raw socket";
    const ProbeRun run = probeOnce("127.0.0.1", SocketKindChoice::Automatic);
    EXPECT_EQ(run.status, IpStatus::Success);
    EXPECT_EQ(run.dataSize, 32);
    EXPECT_TRUE(run.payloadEchoed);
}

} // namespace
