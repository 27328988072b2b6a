#include "echowatch/net/probe_helper_protocol.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace net::helper {
namespace {

using Magic = std::array<std::byte, 4>;
constexpr Magic RequestMagic{std::byte{'E'}, std::byte{'W'}, std::byte{'R'}, std::byte{'Q'}};
constexpr Magic AnswerMagic{std::byte{'E'}, std::byte{'W'}, std::byte{'A'}, std::byte{'N'}};
constexpr std::uint8_t EchoKind = 1;

std::uint32_t read32(std::span<const std::byte> bytes, std::size_t at) noexcept
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value = (value << 8) | std::to_integer<std::uint32_t>(bytes[at + i]);
    return value;
}

void write32(std::span<std::byte> bytes, std::size_t at, std::uint32_t value) noexcept
{
    for (std::size_t i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<std::byte>(value >> (8 * (3 - i)));
}

std::uint8_t read8(std::span<const std::byte> bytes, std::size_t at) noexcept
{
    return std::to_integer<std::uint8_t>(bytes[at]);
}

bool hasPrefix(std::span<const std::byte> bytes, const Magic &magic, std::uint8_t version) noexcept
{
    return std::equal(magic.begin(), magic.end(), bytes.begin()) && read8(bytes, 4) == version;
}

void writePrefix(std::span<std::byte> frame, const Magic &magic, std::uint8_t kind) noexcept
{
    std::copy(magic.begin(), magic.end(), frame.begin());
    frame[4] = std::byte{ProtocolVersion};
    frame[5] = std::byte{kind};
    frame[6] = std::byte{0};
    frame[7] = std::byte{0};
}

bool withinLimits(std::span<const std::byte> header) noexcept
{
    const auto timeout = read32(header, 12);
    const auto replySize = read32(header, 16);
    return read8(header, 5) == EchoKind && read8(header, 6) == 0 && read8(header, 7) == 0 &&
           timeout <= MaxTimeout.count() && replySize >= MinReplySize && replySize <= MaxReplySize;
}

} // namespace

ParsedRequest parseRequest(std::span<const std::byte> bytes) noexcept
{
    ParsedRequest parsed{RequestVerdict::Incomplete, RequestHeaderSize, {}};
    if (bytes.size() < RequestHeaderSize)
        return parsed;
    // Framing first: a stream whose lengths can't be trusted is not read on.
    const auto dataSize = read32(bytes, 20);
    if (!hasPrefix(bytes, RequestMagic, ProtocolVersion) || dataSize > MaxRequestData)
        return {RequestVerdict::Malformed, 0, {}};
    parsed.frameSize = RequestHeaderSize + dataSize;
    if (bytes.size() < parsed.frameSize)
        return parsed;
    parsed.verdict = withinLimits(bytes) ? RequestVerdict::Valid : RequestVerdict::Refused;
    std::memcpy(&parsed.request.destination, bytes.data() + 8, 4);
    parsed.request.timeout = std::chrono::milliseconds{read32(bytes, 12)};
    parsed.request.replySize = read32(bytes, 16);
    parsed.request.data = bytes.subspan(RequestHeaderSize, dataSize);
    return parsed;
}

std::size_t encodeRequest(const EchoRequest &request, std::span<std::byte> frame) noexcept
{
    writePrefix(frame, RequestMagic, EchoKind);
    std::memcpy(frame.data() + 8, &request.destination, 4);
    write32(frame, 12, static_cast<std::uint32_t>(request.timeout.count()));
    write32(frame, 16, request.replySize);
    write32(frame, 20, static_cast<std::uint32_t>(request.data.size()));
    std::copy(request.data.begin(), request.data.end(), frame.begin() + RequestHeaderSize);
    return RequestHeaderSize + request.data.size();
}

ParsedAnswer parseAnswer(std::span<const std::byte> bytes, std::uint32_t replySize) noexcept
{
    ParsedAnswer parsed{AnswerVerdict::Incomplete, AnswerHeaderSize, {}};
    if (bytes.size() < AnswerHeaderSize)
        return parsed;
    const auto kind = read8(bytes, 5);
    const auto recordSize = read32(bytes, 16);
    if (!hasPrefix(bytes, AnswerMagic, ProtocolVersion) || kind > 1 || read8(bytes, 6) != 0 ||
        read8(bytes, 7) != 0 || recordSize > replySize)
        return {AnswerVerdict::Malformed, 0, {}};
    parsed.frameSize = AnswerHeaderSize + recordSize;
    if (bytes.size() < parsed.frameSize)
        return parsed;
    parsed.verdict = AnswerVerdict::Valid;
    parsed.answer = {static_cast<AnswerKind>(kind), read32(bytes, 8),
                     static_cast<std::int32_t>(read32(bytes, 12)),
                     bytes.subspan(AnswerHeaderSize, recordSize)};
    return parsed;
}

std::size_t encodeAnswer(const Answer &answer, std::span<std::byte> frame) noexcept
{
    writePrefix(frame, AnswerMagic, static_cast<std::uint8_t>(answer.kind));
    write32(frame, 8, answer.replies);
    write32(frame, 12, static_cast<std::uint32_t>(answer.status));
    write32(frame, 16, static_cast<std::uint32_t>(answer.record.size()));
    std::copy(answer.record.begin(), answer.record.end(), frame.begin() + AnswerHeaderSize);
    return AnswerHeaderSize + answer.record.size();
}

} // namespace net::helper
