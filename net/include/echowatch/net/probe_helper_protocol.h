#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>

// The frames the window's process and the privileged probe helper exchange
// over a stream socket. The helper holds CAP_NET_RAW, so everything it reads
// is checked against fixed limits before it is used: what it accepts is no
// more than the system ping lets any user do.
//
// Request, window -> helper (integers big-endian):
//   0 magic "EWRQ" | 4 version | 5 kind (1 = echo) | 6 reserved (0, 2 bytes)
//   8 destination, 4 bytes in network order as inet_addr gives it
//  12 timeout (ms, 32-bit) | 16 reply size (32-bit) | 20 data size (32-bit)
//  24 request data
// Answer, helper -> window:
//   0 magic "EWAN" | 4 version | 5 kind (0 = record, 1 = refused)
//   6 reserved (0, 2 bytes) | 8 replies (32-bit) | 12 status (32-bit, signed)
//  16 record size (32-bit) | 20 the reply record, as the echo service wrote it
namespace net::helper {

inline constexpr std::uint8_t ProtocolVersion = 1;
inline constexpr std::size_t RequestHeaderSize = 24;
inline constexpr std::size_t AnswerHeaderSize = 20;

// The largest ICMP payload of an IPv4 packet, as ping allows it.
inline constexpr std::size_t MaxRequestData = 65507;
inline constexpr std::chrono::milliseconds MaxTimeout{500};
// A reply record: the 28-byte header and the largest echoed data.
inline constexpr std::size_t MinReplySize = 28;
inline constexpr std::size_t MaxReplySize = MinReplySize + MaxRequestData;
inline constexpr std::size_t MaxRequestFrame = RequestHeaderSize + MaxRequestData;
inline constexpr std::size_t MaxAnswerFrame = AnswerHeaderSize + MaxReplySize;

struct EchoRequest
{
    std::uint32_t destination; // network order
    std::chrono::milliseconds timeout;
    std::uint32_t replySize;
    std::span<const std::byte> data;
};

enum class RequestVerdict
{
    Incomplete, // more bytes are needed; dataSize says how many in all
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

enum class AnswerKind : std::uint8_t
{
    Record = 0,
    Refused = 1,
};

struct Answer
{
    AnswerKind kind;
    std::uint32_t replies;
    std::int32_t status;
    std::span<const std::byte> record;
};

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
    Answer answer;
};

// Reads one answer frame; a record longer than replySize, the size the
// request allowed, is malformed.
ParsedAnswer parseAnswer(std::span<const std::byte> bytes, std::uint32_t replySize) noexcept;

// Writes an answer frame into frame (at least AnswerHeaderSize +
// answer.record.size() bytes); returns the bytes used.
std::size_t encodeAnswer(const Answer &answer, std::span<std::byte> frame) noexcept;

} // namespace net::helper
