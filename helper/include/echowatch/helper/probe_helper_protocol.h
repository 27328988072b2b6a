#pragma once

#include "echowatch/net/echo_outcome.h"
#include "echowatch/net/time_to_live.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>

// The frames the window's process and the probe helper exchange over a
// stream socket. Everything the helper reads is checked against fixed limits
// before it is used; the answer carries the typed outcome, never the
// platform's reply record, which only the window writes.
//
// Request, window -> helper (integers big-endian):
//   0 magic "EWRQ" | 4 version (3) | 5 kind (1 = echo)
//   6 ttl (0: the system's default) | 7 reserved (0)
//   8 destination, 4 bytes in network order as inet_addr gives it
//  12 timeout (ms, 32-bit) | 16 data size (32-bit) | 20 request data
// Answer, helper -> window:
//   0 magic "EWAN" | 4 version (3) | 5 origin | 6 reserved (0, 2 bytes)
//   8 status (32-bit, signed) | 12 round trip (ns, 64-bit, signed; -1: none)
//  20 responder, 4 bytes in network order | 24 ttl | 25 tos | 26 reserved (0, 2)
//  28 data size (32-bit) | 32 echoed data
namespace helper {

inline constexpr std::uint8_t ProtocolVersion = 3;
inline constexpr std::size_t RequestHeaderSize = 20;
inline constexpr std::size_t AnswerHeaderSize = 32;

// The largest ICMP payload of an IPv4 packet, as ping allows it.
inline constexpr std::size_t MaxRequestData = 65507;
inline constexpr std::chrono::milliseconds MaxTimeout{500};
inline constexpr std::size_t MaxRequestFrame = RequestHeaderSize + MaxRequestData;
inline constexpr std::size_t MaxAnswerFrame = AnswerHeaderSize + MaxRequestData;

// How a helper that cannot serve ends, so that the window can tell why.
inline constexpr int ExitLacksCapability = 4; // its raw socket was refused
inline constexpr int ExitSocketLost = 5;      // its socket failed for good

struct EchoRequest
{
    std::uint32_t destination; // network order
    std::chrono::milliseconds timeout;
    // Any TTL is allowed: `ping -t` gives every user the whole range.
    net::TimeToLive ttl;
    std::span<const std::byte> data;
};

enum class RequestVerdict
{
    Incomplete, // more bytes are needed; frameSize says how many in all
    Valid,      // request holds a request within every limit
    Refused,    // well framed, but a field is out of range: answer BadReq
    Malformed,  // not our framing: the stream can't be trusted any further
};

struct ParsedRequest
{
    RequestVerdict verdict;
    std::size_t frameSize; // the bytes this frame takes, header included
    EchoRequest request;
};

// Reads one request frame from the front of bytes. Pure: no system calls.
ParsedRequest parseRequest(std::span<const std::byte> bytes) noexcept;

// Writes a request frame into frame, which holds at least
// RequestHeaderSize + request.data.size() bytes; returns the bytes used.
std::size_t encodeRequest(const EchoRequest &request, std::span<std::byte> frame) noexcept;

enum class AnswerVerdict
{
    Incomplete,
    Valid,
    Malformed,
};

struct ParsedAnswer
{
    AnswerVerdict verdict;
    std::size_t frameSize;
    net::EchoOutcome outcome; // its data points into the bytes parsed
};

// What an answer to one request can hold: no more echoed data than a host
// may send back for it, and a round trip no longer than its timeout, as the
// helper credits nothing the kernel stamped at or past the timeout.
struct AnswerLimits
{
    std::size_t data;
    std::chrono::nanoseconds roundTrip;
};

// Reads one answer frame; echoed data or a round trip beyond limits (a round
// trip is none or lies in 0..limits.roundTrip), or an origin we do not know,
// is malformed.
ParsedAnswer parseAnswer(std::span<const std::byte> bytes, AnswerLimits limits) noexcept;

// Writes an answer frame into frame (at least AnswerHeaderSize +
// outcome.data.size() bytes); returns the bytes used.
std::size_t encodeAnswer(const net::EchoOutcome &outcome, std::span<std::byte> frame) noexcept;

} // namespace helper
