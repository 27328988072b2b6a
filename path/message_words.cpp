#include "echowatch/path/message_words.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace path {
namespace {

struct MessageWords
{
    icmp::MessageKind kind;
    std::string_view mark;
    std::string_view name;
    std::string_view routerDeed;
    std::string_view hostDeed;
};

constexpr std::uint8_t Unreachable = icmp::Type::DestinationUnreachable;
constexpr std::string_view Rejects = "rejects the request";
constexpr std::string_view Refuses = "refuses the request";

// Marks as traceroute prints them (none: "!<code>" for an unreachable,
// "!<type/code>" for other messages); the codes as RFC 792, 1122 and 1812
// name them. A host that answers a request with an error does not take it.
constexpr std::array Words{
    MessageWords{{Unreachable, 0}, "!N", "network unreachable", "cannot reach the host's network",
                 Rejects},
    MessageWords{{Unreachable, 1}, "!H", "host unreachable", "cannot reach the host", Rejects},
    MessageWords{{Unreachable, 2}, "!P", "protocol unreachable", "cannot pass ICMP on",
                 "does not take ICMP"},
    MessageWords{{Unreachable, 3}, "", "port unreachable", Rejects, Rejects},
    MessageWords{{Unreachable, 4}, "!F", "fragmentation needed",
                 "cannot pass the request on unfragmented", "cannot take the request unfragmented"},
    MessageWords{{Unreachable, 5}, "!S", "source route failed", "cannot follow the source route",
                 Rejects},
    MessageWords{{Unreachable, 6}, "!U", "network unknown", "does not know the host's network",
                 Rejects},
    MessageWords{{Unreachable, 7}, "!W", "host unknown", "does not know the host", Rejects},
    MessageWords{{Unreachable, 8}, "!I", "source host isolated", "isolates this computer",
                 Rejects},
    MessageWords{{Unreachable, 9}, "!A", "network administratively prohibited",
                 "refuses traffic to the host's network", Refuses},
    MessageWords{{Unreachable, 10}, "!Z", "host administratively prohibited",
                 "refuses traffic to the host", Refuses},
    MessageWords{{Unreachable, 11}, "!Q", "network unreachable for the type of service",
                 "cannot reach the host's network for the request's type of service", Rejects},
    MessageWords{{Unreachable, 12}, "!T", "host unreachable for the type of service",
                 "cannot reach the host for the request's type of service", Rejects},
    MessageWords{{Unreachable, 13}, "!X", "administratively prohibited", Refuses, Refuses},
    MessageWords{{Unreachable, 14}, "!V", "host precedence violation",
                 "refuses the request's precedence", "refuses the request's precedence"},
    MessageWords{{Unreachable, 15}, "!C", "precedence cutoff", "refuses the request's precedence",
                 "refuses the request's precedence"},
    MessageWords{{icmp::Type::TimeExceeded, 1}, "", "fragment reassembly time exceeded",
                 "gave up reassembling the request", "gave up reassembling the request"},
    MessageWords{{icmp::Type::ParameterProblem, 0}, "", "parameter problem",
                 "rejects the request's header", "rejects the request's header"},
    MessageWords{{icmp::Type::SourceQuench, 0}, "", "source quench",
                 "asks this computer to slow down", "asks this computer to slow down"},
};

const MessageWords *find(icmp::MessageKind kind)
{
    const auto found = std::find_if(Words.begin(), Words.end(),
                                    [kind](const MessageWords &words) { return words.kind == kind; });
    return found != Words.end() ? &*found : nullptr;
}

std::string typeAndCode(icmp::MessageKind kind)
{
    return std::to_string(kind.type) + "/" + std::to_string(kind.code);
}

} // namespace

std::string errorMark(icmp::MessageKind kind)
{
    if (const auto *words = find(kind); words != nullptr && !words->mark.empty())
        return std::string(words->mark);
    if (kind.type == Unreachable)
        return "!<" + std::to_string(kind.code) + ">";
    return "!<" + typeAndCode(kind) + ">";
}

std::string errorName(icmp::MessageKind kind)
{
    if (const auto *words = find(kind))
        return std::string(words->name);
    if (kind.type == Unreachable)
        return "destination unreachable, code " + std::to_string(kind.code);
    return "ICMP error " + typeAndCode(kind);
}

std::string errorDeed(icmp::MessageKind kind, Sender sender)
{
    if (const auto *words = find(kind))
        return std::string(sender == Sender::Router ? words->routerDeed : words->hostDeed);
    return sender == Sender::Router && kind.type == Unreachable ? "cannot deliver the request"
                                                                 : std::string(Rejects);
}

} // namespace path
