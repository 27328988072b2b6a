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
// platform's reply record, which only the window writes. Several requests
// may be in flight: each carries a tag of the window's choosing, which its
// answer carries back, and answers come in the order their outcomes do.
//
// Request, window -> helper (integers big-endian):
//   0 magic "EWRQ" | 4 version (4) | 5 kind (1 = echo)
//   6 ttl (0: the system's default) | 7 reserved (0)
//   8 tag (32-bit)
//  12 destination, 4 bytes in network order as inet_addr gives it
//  16 timeout (ms, 32-bit) | 20 data size (32-bit) | 24 request data
// Answer, helper -> window:
//   0 magic "EWAN" | 4 version (4) | 5 origin | 6 ICMP type | 7 ICMP code
//   8 tag (32-bit, the request's)
//  12 status (32-bit, signed) | 16 round trip (ns, 64-bit, signed; -1: none)
//  24 responder, 4 bytes in network order | 28 ttl | 29 tos | 30 reserved (0, 2)
//  32 data size (32-bit) | 36 echoed data
namespace helper {

inline constexpr std::uint8_t ProtocolVersion = 4;
inline constexpr std::size_t RequestHeaderSize = 24;
inline constexpr std::size_t AnswerHeaderSize = 36;

// The largest ICMP payload of an IPv4 packet, as ping allows it.
inline constexpr std::size_t MaxRequestData = 65507;
inline constexpr std::chrono::milliseconds MaxTimeout{500};
inline constexpr std::size_t MaxRequestFrame = RequestHeaderSize + MaxRequestData;
inline constexpr std::size_t MaxAnswerFrame = AnswerHeaderSize + MaxRequestData;

// The helper's pace: to each destination, as ping keeps a user's
// (net::UserPace, per destination); to all destinations together, no two
// requests closer than this (2,000 a second).
inline constexpr std::chrono::microseconds GlobalRequestSpacing{500};

// How a helper that cannot serve ends, so that the window can tell why.
inline constexpr int ExitLacksCapability = 4; // its raw socket was refused
inline constexpr int ExitSocketLost = 5;      // its socket failed for good
inline constexpr int ExitOtherVersion = 6;    // asked in another protocol version

struct EchoRequest
{
    std::uint32_t tag;         // names the request in its answer
    std::uint32_t destination; // network order
    std::chrono::milliseconds timeout;
    // Any TTL is allowed: `ping -t` gives every user the whole range.
    net::TimeToLive ttl;
    std::span<const std::byte> data;
};

enum class RequestVerdict
{
    Incomplete,   // more bytes are needed; frameSize says how many in all
    Valid,        // request holds a request within every limit
    Refused,      // well framed, but a field is out of range: answer BadReq
    OtherVersion, // our magic, another version: a window of another release
    Malformed,    // not our framing: the stream can't be trusted any further
};

struct ParsedRequest
{
    RequestVerdict verdict;
    std::size_t frameSize; // the bytes this frame takes, header included
    EchoRequest request;
    std::uint8_t version; // as the frame says, where it has our magic
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
    std::uint32_t tag;
    net::EchoOutcome outcome; // its data points into the bytes parsed
};

// What an answer to a request can hold: no more echoed data than a host may
// send back for it, and a round trip no longer than its timeout, as the
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

// Whether an answer's round trip is one an answer to a request with this
// timeout can have: none, or 0 to the timeout.
bool roundTripWithin(std::chrono::nanoseconds roundTrip, std::chrono::nanoseconds limit) noexcept;

// Writes an answer frame for the request tag into frame (at least
// AnswerHeaderSize + outcome.data.size() bytes); returns the bytes used.
std::size_t encodeAnswer(std::uint32_t tag, const net::EchoOutcome &outcome,
                         std::span<std::byte> frame) noexcept;

} // namespace helper
