#include "echowatch/icmp/icmp_packet.h"

#include "echowatch/icmp/ip_status.h"

#include <algorithm>

namespace icmp {
namespace {

std::uint8_t byteAt(std::span<const std::byte> bytes, std::size_t offset) noexcept
{
    return std::to_integer<std::uint8_t>(bytes[offset]);
}

std::uint16_t read16(std::span<const std::byte> bytes, std::size_t offset) noexcept
{
    return static_cast<std::uint16_t>(byteAt(bytes, offset) << 8 | byteAt(bytes, offset + 1));
}

// Addresses stay in network order, so they are copied, not decoded.
std::uint32_t readAddress(std::span<const std::byte> bytes, std::size_t offset) noexcept
{
    std::uint32_t address = 0;
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), sizeof address,
                reinterpret_cast<std::byte *>(&address));
    return address;
}

void write16(std::span<std::byte> bytes, std::size_t offset, std::uint16_t value) noexcept
{
    bytes[offset] = static_cast<std::byte>(value >> 8);
    bytes[offset + 1] = static_cast<std::byte>(value & 0xff);
}

bool echoesOurData(std::span<const std::byte> echoed, std::span<const std::byte> sent) noexcept
{
    return echoed.size() >= sent.size() && std::equal(sent.begin(), sent.end(), echoed.begin());
}

// An error counts only when the request it quotes is the one we sent.
bool quotesOurRequest(std::span<const std::byte> quotedIcmp, const SentEcho &sent,
                      bool checkIdentifier) noexcept
{
    const auto quoted = readEchoHeader(quotedIcmp);
    return quoted && quoted->type == Type::EchoRequest && quoted->sequence == sent.sequence &&
           (!checkIdentifier || quoted->identifier == sent.identifier);
}

std::optional<Answer> matchRawError(const Ipv4Packet &outer, std::uint8_t type, std::uint8_t code,
                                    const SentEcho &sent) noexcept
{
    const auto quotedIp = readIpv4(outer.payload.subspan(HeaderSize));
    if (!quotedIp || quotedIp->protocol != ProtocolIcmp ||
        quotedIp->destination != sent.destination ||
        !quotesOurRequest(quotedIp->payload, sent, true))
        return std::nullopt;
    const auto status = statusForIcmpError(type, code);
    if (!status)
        return std::nullopt;
    return Answer{*status, outer.source, {}, outer.ttl, outer.tos, {type, code}};
}

} // namespace

std::uint16_t internetChecksum(std::span<const std::byte> bytes) noexcept
{
    std::uint32_t sum = 0;
    std::size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2)
        sum += read16(bytes, i);
    if (i < bytes.size())
        sum += static_cast<std::uint32_t>(byteAt(bytes, i)) << 8;
    while (sum >> 16)
        sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

std::span<const std::byte> buildEchoRequest(std::span<std::byte> buffer, std::uint16_t identifier,
                                            std::uint16_t sequence,
                                            std::span<const std::byte> data) noexcept
{
    if (buffer.size() < HeaderSize || data.size() > buffer.size() - HeaderSize)
        return {};
    const auto packet = buffer.first(HeaderSize + data.size());
    std::fill_n(packet.begin(), HeaderSize, std::byte{0});
    packet[0] = static_cast<std::byte>(Type::EchoRequest);
    write16(packet, 4, identifier);
    write16(packet, 6, sequence);
    std::copy(data.begin(), data.end(), packet.begin() + HeaderSize);
    write16(packet, 2, internetChecksum(packet));
    return packet;
}

std::optional<EchoHeader> readEchoHeader(std::span<const std::byte> icmp) noexcept
{
    if (icmp.size() < HeaderSize)
        return std::nullopt;
    return EchoHeader{byteAt(icmp, 0), byteAt(icmp, 1), read16(icmp, 4), read16(icmp, 6)};
}

std::optional<Ipv4Packet> readIpv4(std::span<const std::byte> packet) noexcept
{
    constexpr std::size_t minimumHeader = 20;
    if (packet.size() < minimumHeader || byteAt(packet, 0) >> 4 != 4)
        return std::nullopt;
    const std::size_t headerLength = (byteAt(packet, 0) & 0x0fu) * 4u;
    const std::size_t totalLength = read16(packet, 2);
    if (headerLength < minimumHeader || headerLength > packet.size() || totalLength < headerLength)
        return std::nullopt;
    // Quoted headers carry the original total length but only part of the
    // packet, so the length only ever shortens what is there.
    const std::size_t end = std::min(totalLength, packet.size());
    return Ipv4Packet{readAddress(packet, 12), readAddress(packet, 16),
                      byteAt(packet, 9),       byteAt(packet, 8),
                      byteAt(packet, 1),       packet.subspan(headerLength, end - headerLength)};
}

std::optional<std::int32_t> statusForIcmpError(std::uint8_t type, std::uint8_t code) noexcept
{
    switch (type) {
    case Type::DestinationUnreachable:
        switch (code) {
        case 0:
        case 6:
        case 9:
        case 11:
            return IpStatus::DestNetUnreachable;
        case 1:
        case 7:
        case 8:
        case 10:
        case 12:
        case 13:
        case 14:
        case 15:
            return IpStatus::DestHostUnreachable;
        case 2:
            return IpStatus::DestProtUnreachable;
        case 3:
            return IpStatus::DestPortUnreachable;
        case 4:
            return IpStatus::PacketTooBig;
        case 5:
            return IpStatus::BadRoute;
        default:
            return IpStatus::GeneralFailure;
        }
    case Type::TimeExceeded:
        return code == 0   ? IpStatus::TtlExpiredTransit
               : code == 1 ? IpStatus::TtlExpiredReassem
                           : IpStatus::GeneralFailure;
    case Type::ParameterProblem:
        return IpStatus::ParamProblem;
    case Type::SourceQuench:
        return IpStatus::SourceQuench;
    default:
        return std::nullopt;
    }
}

std::optional<MessageKind> usualMessageFor(std::int32_t status) noexcept
{
    switch (status) {
    case IpStatus::DestNetUnreachable:
        return MessageKind{Type::DestinationUnreachable, 0};
    case IpStatus::DestHostUnreachable:
        return MessageKind{Type::DestinationUnreachable, 1};
    case IpStatus::DestProtUnreachable:
        return MessageKind{Type::DestinationUnreachable, 2};
    case IpStatus::DestPortUnreachable:
        return MessageKind{Type::DestinationUnreachable, 3};
    case IpStatus::PacketTooBig:
        return MessageKind{Type::DestinationUnreachable, 4};
    case IpStatus::BadRoute:
        return MessageKind{Type::DestinationUnreachable, 5};
    case IpStatus::TtlExpiredTransit:
        return MessageKind{Type::TimeExceeded, 0};
    case IpStatus::TtlExpiredReassem:
        return MessageKind{Type::TimeExceeded, 1};
    case IpStatus::ParamProblem:
        return MessageKind{Type::ParameterProblem, 0};
    case IpStatus::SourceQuench:
        return MessageKind{Type::SourceQuench, 0};
    default:
        return std::nullopt;
    }
}

std::optional<std::uint16_t> rawAnswerSequence(std::span<const std::byte> packet) noexcept
{
    const auto ip = readIpv4(packet);
    if (!ip || ip->protocol != ProtocolIcmp)
        return std::nullopt;
    const auto header = readEchoHeader(ip->payload);
    if (!header)
        return std::nullopt;
    if (header->type == Type::EchoReply)
        return header->sequence;
    const auto quotedIp = readIpv4(ip->payload.subspan(HeaderSize));
    if (!quotedIp || quotedIp->protocol != ProtocolIcmp)
        return std::nullopt;
    const auto quoted = readEchoHeader(quotedIp->payload);
    if (!quoted || quoted->type != Type::EchoRequest)
        return std::nullopt;
    return quoted->sequence;
}

std::optional<std::uint16_t> datagramReplySequence(std::span<const std::byte> icmp) noexcept
{
    const auto header = readEchoHeader(icmp);
    if (!header || header->type != Type::EchoReply)
        return std::nullopt;
    return header->sequence;
}

std::optional<std::uint16_t> queuedErrorSequence(const QueuedError &error) noexcept
{
    const auto quoted = readEchoHeader(error.quotedIcmp);
    if (error.origin != ErrorOriginIcmp || !quoted || quoted->type != Type::EchoRequest)
        return std::nullopt;
    return quoted->sequence;
}

std::optional<Answer> matchRawPacket(std::span<const std::byte> packet,
                                     const SentEcho &sent) noexcept
{
    const auto ip = readIpv4(packet);
    if (!ip || ip->protocol != ProtocolIcmp || internetChecksum(ip->payload) != 0)
        return std::nullopt;
    const auto header = readEchoHeader(ip->payload);
    if (!header)
        return std::nullopt;
    if (header->type != Type::EchoReply)
        return matchRawError(*ip, header->type, header->code, sent);
    const auto echoed = ip->payload.subspan(HeaderSize);
    if (header->code != 0 || header->identifier != sent.identifier ||
        header->sequence != sent.sequence || ip->source != sent.destination ||
        !echoesOurData(echoed, sent.data))
        return std::nullopt;
    return Answer{IpStatus::Success, ip->source, echoed, ip->ttl, ip->tos, {}};
}

std::optional<Answer> matchDatagramReply(std::span<const std::byte> icmp, std::uint32_t source,
                                         std::uint8_t ttl, std::uint8_t tos,
                                         const SentEcho &sent) noexcept
{
    const auto header = readEchoHeader(icmp);
    if (!header || header->type != Type::EchoReply || header->code != 0 ||
        header->sequence != sent.sequence || source != sent.destination)
        return std::nullopt;
    const auto echoed = icmp.subspan(HeaderSize);
    if (!echoesOurData(echoed, sent.data))
        return std::nullopt;
    return Answer{IpStatus::Success, source, echoed, ttl, tos, {}};
}

std::optional<Answer> matchQueuedError(const QueuedError &error, const SentEcho &sent) noexcept
{
    if (error.origin != ErrorOriginIcmp || error.originalDestination != sent.destination ||
        !quotesOurRequest(error.quotedIcmp, sent, false))
        return std::nullopt;
    const auto status = statusForIcmpError(error.type, error.code);
    if (!status)
        return std::nullopt;
    return Answer{*status, error.offender, {}, 0, 0, {error.type, error.code}};
}

} // namespace icmp
