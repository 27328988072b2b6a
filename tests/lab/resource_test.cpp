// What a long run must not do: leak descriptors, or route anything out of
// the lab.
#include "lab_fixture.h"
#include "lab_network.h"

#include "echowatch/icmp/ip_status.h"

#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <vector>

namespace lab {
namespace {

using helper::SocketKindChoice;

std::size_t openDescriptors()
{
    const std::filesystem::directory_iterator entries("/proc/self/fd");
    return static_cast<std::size_t>(std::distance(begin(entries), end(entries)));
}

class Descriptors : public LabTest, public testing::WithParamInterface<SocketKindChoice>
{};

TEST_P(Descriptors, TwoThousandMixedProbesLeaveNoneOpen)
{
    namespace A = Address;
    const std::vector<std::string_view> quick{A::Host,
                                              A::RejectedNetUnreachable,
                                              A::RejectedPortUnreachable,
                                              A::NoRouteInClient,
                                              A::UnreachableRouteInClient,
                                              A::RejectedAdminProhibited,
                                              A::RoutingLoop,
                                              A::ClientBroadcast};
    constexpr int Probes = 2000;
    constexpr int TimeoutEvery = 1000; // each one waits out the full deadline

    const std::size_t before = openDescriptors();
    std::map<EchoStatus, int> seen;
    {
        RealProbe probe(GetParam());
        for (int i = 1; i <= Probes; ++i) {
            const auto address = i % TimeoutEvery == 0 ? A::Responder : quick[i % quick.size()];
            ++seen[probe.echo(address).status];
        }
    }
    EXPECT_EQ(openDescriptors(), before);
    // Success, five failures and the timeouts: the mix really was mixed.
    EXPECT_EQ(seen.size(), 7u);
    EXPECT_EQ(seen[icmp::IpStatus::ReqTimedOut], Probes / TimeoutEvery);
}

INSTANTIATE_TEST_SUITE_P(Datagram, Descriptors, testing::Values(SocketKindChoice::DatagramOnly));
INSTANTIATE_TEST_SUITE_P(Raw, Descriptors, testing::Values(SocketKindChoice::RawOnly));

// A route is inside the lab when it leads to a lab prefix (or to this
// namespace's own loopback) through a lab gateway.
std::vector<std::string> routesLeadingOut(const std::string &table)
{
    const std::set<std::string> types{"unicast",   "local", "broadcast", "unreachable", "prohibit",
                                      "blackhole", "throw", "multicast", "anycast"};
    std::vector<std::string> leadingOut;
    std::istringstream lines(table);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string type = "unicast", destination, word;
        words >> destination;
        if (types.contains(destination)) {
            type = destination;
            words >> destination;
        }
        bool inside = insideLab(destination) ||
                      ((type == "local" || type == "broadcast") && destination.starts_with("127."));
        while (words >> word)
            if (word == "via" && words >> word)
                inside = inside && insideLab(word);
        if (!inside)
            leadingOut.push_back(line);
    }
    return leadingOut;
}

TEST(RouteCheck, FlagsEveryRouteThatLeavesTheLab)
{
    const std::string table = "default via 192.0.2.1 dev c0\n"
                              "10.0.0.0/8 dev c0 scope link\n"
                              "198.51.100.0/24 via 10.1.1.1 dev c0\n"
                              "local 10.0.0.5 dev c0 table local\n"
                              "198.51.100.0/24 via 192.0.2.1 dev c0\n"
                              "unreachable 203.0.113.250\n"
                              "local 127.0.0.1 dev lo table local\n";
    EXPECT_EQ(routesLeadingOut(table).size(), 4u);
}

using ClientRoutes = LabTest;

TEST_F(ClientRoutes, NeverLeadOutOfTheLab)
{
    const std::string ipv4 = commandOutput("ip -4 -o route show table all");
    ASSERT_NE(ipv4.find(Address::Client), std::string::npos) << ipv4;
    EXPECT_EQ(routesLeadingOut(ipv4), std::vector<std::string>{});
    EXPECT_EQ(commandOutput("ip -6 -o route show table all default"), "");
}

} // namespace
} // namespace lab
