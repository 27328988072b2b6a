#pragma once

#include <optional>
#include <string>
#include <string_view>

// The lab as the tests see it from inside its client namespace: the
// addresses scripts/lab.sh gives its hosts, and the names of its namespaces.
namespace lab {

namespace Address {
inline constexpr std::string_view Client = "192.0.2.10";
inline constexpr std::string_view ClientBroadcast = "192.0.2.255";
inline constexpr std::string_view Router = "192.0.2.1";
inline constexpr std::string_view Host = "198.51.100.2";
inline constexpr std::string_view Responder = "198.51.100.18";
inline constexpr std::string_view LoopRouter = "198.51.100.34";
inline constexpr std::string_view RejectedNetUnreachable = "203.0.113.1";
inline constexpr std::string_view RejectedHostUnreachable = "203.0.113.2";
inline constexpr std::string_view RejectedProtocolUnreachable = "203.0.113.3";
inline constexpr std::string_view RejectedPortUnreachable = "203.0.113.4";
inline constexpr std::string_view RejectedAdminProhibited = "203.0.113.5";
inline constexpr std::string_view RejectedFragmentationNeeded = "203.0.113.6";
inline constexpr std::string_view RoutingLoop = "203.0.113.65";
inline constexpr std::string_view NoRouteInClient = "203.0.113.200";
inline constexpr std::string_view UnreachableRouteInClient = "203.0.113.250";
} // namespace Address

// The chained lab (scripts/lab.sh chain): three routers in a row, each
// answering from its side facing the client.
namespace ChainAddress {
inline constexpr std::string_view Hop1 = "192.0.2.1";
inline constexpr std::string_view Hop2 = "192.0.2.18";
inline constexpr std::string_view Hop3 = "198.51.100.2";
inline constexpr std::string_view Host = "203.0.113.10";
inline constexpr int HostHop = 4;
} // namespace ChainAddress

// The prefixes the lab may use; nothing it routes may lead anywhere else.
inline constexpr std::string_view LabPrefixes[] = {"192.0.2.0/24", "198.51.100.0/24",
                                                   "203.0.113.0/24"};

// Whether an IPv4 address or prefix ("a.b.c.d" or "a.b.c.d/n") lies inside
// one of LabPrefixes; anything that does not parse does not.
bool insideLab(std::string_view addressOrPrefix);

// The lab this process runs in, from the name of its network namespace
// ("<lab>-client"); none when it runs anywhere else.
std::optional<std::string> currentLab();

// The namespace of one of the lab's hosts, e.g. "responder".
std::string labNamespace(const std::string &lab, std::string_view role);

// Runs a command and returns what it printed on standard output.
std::string commandOutput(const std::string &command);

} // namespace lab
