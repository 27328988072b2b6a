// The kernel's view from the chained lab's client: the route to the host
// through its gateway, the gateway on the link, routes that refuse, a link
// whose far end went away and one switched off, as a real kernel answers.
#include "lab_fixture.h"
#include "lab_network.h"

#include "echowatch/route/kernel_view.h"
#include "support/packet_builder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace lab {
namespace {

using route::RouteKind;

route::RouteFacts lookUp(std::string_view address)
{
    return route::lookUpRoute(testpackets::address(std::string(address).c_str()));
}

class KernelRoutes : public LabTest
{
protected:
    void SetUp() override
    {
        LabTest::SetUp();
        if (IsSkipped())
            return;
        if (!std::filesystem::exists("/run/netns/" + labNamespace(m_lab, "r1")))
            GTEST_SKIP() << "skipped: not in a chained lab; run through run_lab.sh --chain";
    }
    void TearDown() override
    {
        for (const std::string &command : m_undo)
            std::system(command.c_str());
    }
    // A command here or, with a role, in that namespace; undone after the
    // test, pass or fail.
    void change(const std::string &command, std::string undo, std::string_view role = {})
    {
        const std::string prefix =
            role.empty() ? std::string() : "ip netns exec " + labNamespace(m_lab, role) + " ";
        ASSERT_EQ(std::system((prefix + command).c_str()), 0) << command;
        m_undo.push_back(prefix + undo);
    }

    std::vector<std::string> m_undo;
};

TEST_F(KernelRoutes, TheHostIsThroughTheGatewayOnAWorkingLink)
{
    const route::RouteFacts facts = lookUp(ChainAddress::Host);
    ASSERT_EQ(facts.kind, RouteKind::Gateway) << "errno " << facts.error;
    EXPECT_EQ(facts.gateway, testpackets::address("192.0.2.1"));
    ASSERT_TRUE(facts.link.has_value());
    EXPECT_EQ(facts.link->name, "c0");
    EXPECT_EQ(route::linkTrouble(*facts.link), route::LinkTrouble::None);
    EXPECT_EQ(facts.link->operState, route::OperState::Up);

    const route::RouteFacts gateway = lookUp(ChainAddress::Hop1);
    EXPECT_EQ(gateway.kind, RouteKind::OnLink);
    EXPECT_EQ(gateway.outputInterface, facts.outputInterface);
    EXPECT_EQ(lookUp("192.0.2.10").kind, RouteKind::Local);
    EXPECT_EQ(lookUp("203.0.113.200").kind, RouteKind::NoRoute);
}

TEST_F(KernelRoutes, RoutesThatRefuseSayHow)
{
    const struct
    {
        const char *type;
        const char *address;
        RouteKind kind;
    } rows[] = {
        {"unreachable", "203.0.113.250", RouteKind::Unreachable},
        {"prohibit", "203.0.113.251", RouteKind::Prohibited},
        {"blackhole", "203.0.113.252", RouteKind::Blackhole},
        {"throw", "203.0.113.253", RouteKind::NoRoute},
    };
    for (const auto &row : rows) {
        change(std::string("ip route add ") + row.type + " " + row.address + "/32",
               std::string("ip route del ") + row.type + " " + row.address + "/32");
        EXPECT_EQ(lookUp(row.address).kind, row.kind) << row.type;
    }
}

// The gateway's end of the cable is gone: the route stays, its link has
// no carrier.
TEST_F(KernelRoutes, ALinkWithoutItsFarEndHasNoCarrier)
{
    change("ip link set a0 down", "ip link set a0 up", "r1");
    const route::RouteFacts facts = lookUp(ChainAddress::Host);
    ASSERT_EQ(facts.kind, RouteKind::Gateway);
    ASSERT_TRUE(facts.link.has_value());
    EXPECT_FALSE(facts.link->carrier);
    // Kernels differ on the state a veth reads without its peer; either
    // is a way out that passes nothing.
    EXPECT_TRUE(facts.link->operState == route::OperState::LowerLayerDown ||
                facts.link->operState == route::OperState::Down)
        << static_cast<int>(facts.link->operState);
    EXPECT_EQ(route::linkTrouble(*facts.link), route::LinkTrouble::NoCarrier);
}

// Switched off, the link takes its routes with it: no route at all.
TEST_F(KernelRoutes, ALinkSwitchedOffLeavesNoRoute)
{
    change("ip link set c0 down",
           "sh -c 'ip link set c0 up && ip route replace 192.0.2.16/28 via 192.0.2.1 && "
           "ip route replace 198.51.100.0/28 via 192.0.2.1 && "
           "ip route replace 203.0.113.0/28 via 192.0.2.1'");
    EXPECT_EQ(lookUp(ChainAddress::Host).kind, RouteKind::NoRoute);
}

} // namespace
} // namespace lab
