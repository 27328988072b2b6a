#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

// Pure packet code: building echo requests and recognising what comes back.
// No system calls, clocks or globals here, so every rule can be driven with
// crafted bytes. Addresses are kept in network byte order throughout, as
// inet_addr returns them; other fields are decoded to host order.
namespace icmp {

namespace Type {
inline constexpr std::uint8_t EchoReply = 0;
inline constexpr std::uint8_t DestinationUnreachable = 3;
inline constexpr std::uint8_t SourceQuench = 4;
inline constexpr std::uint8_t Redirect = 5;
inline constexpr std::uint8_t EchoRequest = 8;
inline constexpr std::uint8_t TimeExceeded = 11;
inline constexpr std::uint8_t ParameterProblem = 12;
} // namespace Type

inline constexpr std::size_t HeaderSize = 8;
inline constexpr std::uint8_t ProtocolIcmp = 1;

//  0       8      16              31
// +-------+-------+----------------+
// | type  | code  |    checksum    |
// +-------+-------+----------------+
// |   identifier  |    sequence    |
// +---------------+----------------+
struct EchoHeader
{
    std::uint8_t type;
    std::uint8_t code;
    std::uint16_t identifier;
    std::uint16_t sequence;
};

// The parts of an IPv4 header we look at; payload is what follows the header,
// cut to the header's total length when the packet is not itself truncated.
struct Ipv4Packet
{
    std::uint32_t source;
    std::uint32_t destination;
    std::uint8_t protocol;
    std::uint8_t ttl;
    std::uint8_t tos;
    std::span<const std::byte> payload;
};

// One request on the wire, as the receiving side needs to recognise it.
struct SentEcho
{
    std::uint32_t destination;
    std::uint16_t identifier;
    std::uint16_t sequence;
    std::span<const std::byte> data;
};

// The type and code of an ICMP message as its sender wrote them: what a
// status folds together (a host-unreachable and an administrative refusal
// share one) they still tell apart.
struct MessageKind
{
    std::uint8_t type = 0;
    std::uint8_t code = 0;

    bool operator==(const MessageKind &) const = default;
};

// Something that answers our request: an echo reply (status 0, the echoed
// data) or an ICMP error about it (its status, no data).
struct Answer
{
    std::int32_t status;
    std::uint32_t from;
    std::span<const std::byte> echoedData;
    std::uint8_t ttl;
    std::uint8_t tos;
    MessageKind kind; // of the reply (0/0) or of the error
};

// One entry of a datagram socket's error queue, as the kernel reports it.
struct QueuedError
{
    std::uint8_t origin;
    std::uint8_t type;
    std::uint8_t code;
    std::uint32_t offender;
    std::uint32_t originalDestination;
    std::span<const std::byte> quotedIcmp;
};

inline constexpr std::uint8_t ErrorOriginIcmp = 2;

std::uint16_t internetChecksum(std::span<const std::byte> bytes) noexcept;

// Writes an echo request into buffer and returns the bytes written; nothing
// when it does not fit.
std::span<const std::byte> buildEchoRequest(std::span<std::byte> buffer, std::uint16_t identifier,
                                            std::uint16_t sequence,
                                            std::span<const std::byte> data) noexcept;

std::optional<EchoHeader> readEchoHeader(std::span<const std::byte> icmp) noexcept;
std::optional<Ipv4Packet> readIpv4(std::span<const std::byte> packet) noexcept;

// The status an ICMP error stands for; none for messages that are not an
// outcome (a redirect: the real answer still follows).
std::optional<std::int32_t> statusForIcmpError(std::uint8_t type, std::uint8_t code) noexcept;

// The message a status most often stands for, where the message itself was
// not seen (a ping socket reports some errors as an errno alone): none for
// statuses that no ICMP message gives.
std::optional<MessageKind> usualMessageFor(std::int32_t status) noexcept;

// The sequence an answer is about (an echo reply's own, or that of the
// request an error quotes), read before the answer is matched against one
// of several requests in flight; none when it cannot be ours.
std::optional<std::uint16_t> rawAnswerSequence(std::span<const std::byte> packet) noexcept;
std::optional<std::uint16_t> datagramReplySequence(std::span<const std::byte> icmp) noexcept;
std::optional<std::uint16_t> queuedErrorSequence(const QueuedError &error) noexcept;

// A raw socket hands over whole IP packets, everyone's: replies are ours by
// identifier, sequence, source and data; errors by the request they quote.
std::optional<Answer> matchRawPacket(std::span<const std::byte> packet,
                                     const SentEcho &sent) noexcept;

// A datagram socket hands over the ICMP message only, already filtered by the
// kernel on the identifier it chose, but from any source.
std::optional<Answer> matchDatagramReply(std::span<const std::byte> icmp, std::uint32_t source,
                                         std::uint8_t ttl, std::uint8_t tos,
                                         const SentEcho &sent) noexcept;

std::optional<Answer> matchQueuedError(const QueuedError &error, const SentEcho &sent) noexcept;

} // namespace icmp
