#include "echowatch/icmp/ip_status.h"
#include "support/child_process.h"
#include "support/real_probe.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

// When no ICMP socket can be had, the probe must say why instead of showing
// success: refused for want of permission (ping sockets closed and a helper
// without the capability), or the system is out of descriptors. Each case takes the privilege or
// the descriptors away in a child.

namespace {

namespace IpStatus = icmp::IpStatus;

constexpr uid_t Nobody = 65534;

std::string dropToNobody()
{
    const std::string error = childprocess::enterNetworkNamespace("1 0");
    if (!error.empty())
        return error;
    if (::setresgid(Nobody, Nobody, Nobody) != 0 || ::setresuid(Nobody, Nobody, Nobody) != 0)
        return "could not become nobody";
    return {};
}

std::string runOutOfDescriptors()
{
    // The sanitizers' type checks need a pipe the first time they meet a
    // type; meet them all once (0.0.0.0 sends nothing) while that still works.
    probeOnce("0.0.0.0", helper::SocketKindChoice::Automatic);
    const rlimit none{0, 0};
    return ::setrlimit(RLIMIT_NOFILE, &none) == 0 ? std::string() : "setrlimit failed";
}

struct NoSocketCase
{
    const char *name;
    std::string (*takeAway)();
    std::int32_t status;
};

class NoSocket : public testing::TestWithParam<NoSocketCase>
{};

TEST_P(NoSocket, IsReportedAsAFailureAndNothingIsSent)
{
    if (!childprocess::isRoot())
        GTEST_SKIP() << "skipped: needs root to make a network namespace and change user";
    const ProbeRun run =
        probeInChild(GetParam().takeAway, "127.0.0.1", helper::SocketKindChoice::Automatic);
    ASSERT_STREQ(run.setupError, "");
    EXPECT_EQ(run.status, GetParam().status);
    EXPECT_EQ(run.roundTripTime, 0u);
    EXPECT_EQ(run.dataSize, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, NoSocket,
    testing::Values(NoSocketCase{"noPermission", dropToNobody, IpStatus::GeneralFailure},
                    NoSocketCase{"noDescriptors", runOutOfDescriptors, IpStatus::NoResources}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
