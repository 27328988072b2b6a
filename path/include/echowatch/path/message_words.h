#pragma once

#include "echowatch/icmp/icmp_packet.h"

#include <string>

// How the ICMP errors that end a path are marked in a hop's row and told in
// words: one table, in message_words.cpp. Time-exceeded in transit is not
// among them: it is how every router on the way answers.
namespace path {

// traceroute's and mtr's mark beside a hop's address: "!H" for a host
// unreachable, "!X" for an administrative refusal, "!<type/code>" for a
// message without a mark of its own.
std::string errorMark(icmp::MessageKind kind);

// What the message says, in a few words: "host unreachable".
std::string errorName(icmp::MessageKind kind);

// What its sender does, said of a router on the way ("cannot reach the
// host") or of the host itself ("refuses the request").
enum class Sender
{
    Router,
    Host,
};
std::string errorDeed(icmp::MessageKind kind, Sender sender);

} // namespace path
