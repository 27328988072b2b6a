#include "echowatch/helper/probe_helper_protocol.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace helper {
namespace {

using Magic = std::array<std::byte, 4>;
constexpr Magic RequestMagic{std::byte{'E'}, std::byte{'W'}, std::byte{'R'}, std::byte{'Q'}};
constexpr Magic AnswerMagic{std::byte{'E'}, std::byte{'W'}, std::byte{'A'}, std::byte{'N'}};
constexpr std::uint8_t EchoKind = 1;
constexpr auto LastOrigin = static_cast<std::uint8_t>(net::FailureOrigin::IcmpMessage);

std::uint64_t readBig(std::span<const std::byte> bytes, std::size_t at, std::size_t size) noexcept
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i)
        value = (value << 8) | std::to_integer<std::uint64_t>(bytes[at + i]);
    return value;
}

std::uint32_t read32(std::span<const std::byte> bytes, std::size_t at) noexcept
{
    return static_cast<std::uint32_t>(readBig(bytes, at, 4));
}

void writeBig(std::span<std::byte> bytes, std::size_t at, std::size_t size,
              std::uint64_t value) noexcept
{
    for (std::size_t i = 0; i < size; ++i)
        bytes[at + i] = static_cast<std::byte>(value >> (8 * (size - 1 - i)));
}

std::uint8_t read8(std::span<const std::byte> bytes, std::size_t at) noexcept
{
    return std::to_integer<std::uint8_t>(bytes[at]);
}

bool hasMagic(std::span<const std::byte> bytes, const Magic &magic) noexcept
{
    return std::equal(magic.begin(), magic.end(), bytes.begin());
}

void writePrefix(std::span<std::byte> frame, const Magic &magic) noexcept
{
    std::copy(magic.begin(), magic.end(), frame.begin());
    frame[4] = std::byte{ProtocolVersion};
}

std::chrono::nanoseconds readRoundTrip(std::span<const std::byte> answer) noexcept
{
    return std::chrono::nanoseconds{static_cast<std::int64_t>(readBig(answer, 16, 8))};
}

bool withinLimits(std::span<const std::byte> header) noexcept
{
    return read8(header, 5) == EchoKind && read8(header, 7) == 0 &&
           read32(header, 16) <= MaxTimeout.count();
}

bool answerHeaderSound(std::span<const std::byte> bytes, AnswerLimits limits) noexcept
{
    return hasMagic(bytes, AnswerMagic) && read8(bytes, 4) == ProtocolVersion &&
           read8(bytes, 5) <= LastOrigin && read8(bytes, 30) == 0 && read8(bytes, 31) == 0 &&
           read32(bytes, 32) <= limits.data && roundTripWithin(readRoundTrip(bytes), limits.roundTrip);
}

} // namespace

ParsedRequest parseRequest(std::span<const std::byte> bytes) noexcept
{
    ParsedRequest parsed{RequestVerdict::Incomplete, RequestHeaderSize, {}, 0};
    // The version comes before anything of a layout that differs between
    // versions: a window of an earlier release is told apart, not misread.
    if (bytes.size() >= 5 && hasMagic(bytes, RequestMagic) && read8(bytes, 4) != ProtocolVersion)
        return {RequestVerdict::OtherVersion, 0, {}, read8(bytes, 4)};
    if (bytes.size() < RequestHeaderSize)
        return parsed;
    // Framing first: a stream whose lengths can't be trusted is not read on.
    const auto dataSize = read32(bytes, 20);
    if (!hasMagic(bytes, RequestMagic) || dataSize > MaxRequestData)
        return {RequestVerdict::Malformed, 0, {}, 0};
    parsed.version = ProtocolVersion;
    parsed.frameSize = RequestHeaderSize + dataSize;
    if (bytes.size() < parsed.frameSize)
        return parsed;
    parsed.verdict = withinLimits(bytes) ? RequestVerdict::Valid : RequestVerdict::Refused;
    parsed.request.tag = read32(bytes, 8);
    std::memcpy(&parsed.request.destination, bytes.data() + 12, 4);
    parsed.request.timeout = std::chrono::milliseconds{read32(bytes, 16)};
    parsed.request.ttl = read8(bytes, 6);
    parsed.request.data = bytes.subspan(RequestHeaderSize, dataSize);
    return parsed;
}

std::size_t encodeRequest(const EchoRequest &request, std::span<std::byte> frame) noexcept
{
    writePrefix(frame, RequestMagic);
    frame[5] = std::byte{EchoKind};
    frame[6] = std::byte{request.ttl};
    frame[7] = std::byte{0};
    writeBig(frame, 8, 4, request.tag);
    std::memcpy(frame.data() + 12, &request.destination, 4);
    writeBig(frame, 16, 4, static_cast<std::uint32_t>(request.timeout.count()));
    writeBig(frame, 20, 4, request.data.size());
    std::copy(request.data.begin(), request.data.end(), frame.begin() + RequestHeaderSize);
    return RequestHeaderSize + request.data.size();
}

// Anything else would be credited as an answer that never was, and the
// extremes overflow whatever converts them.
bool roundTripWithin(std::chrono::nanoseconds roundTrip, std::chrono::nanoseconds limit) noexcept
{
    return roundTrip == net::EchoOutcome::NoRoundTrip ||
           (roundTrip >= std::chrono::nanoseconds::zero() && roundTrip <= limit);
}

ParsedAnswer parseAnswer(std::span<const std::byte> bytes, AnswerLimits limits) noexcept
{
    ParsedAnswer parsed{AnswerVerdict::Incomplete, AnswerHeaderSize, 0, {}};
    if (bytes.size() < AnswerHeaderSize)
        return parsed;
    if (!answerHeaderSound(bytes, limits))
        return {AnswerVerdict::Malformed, 0, 0, {}};
    const auto dataSize = read32(bytes, 32);
    parsed.frameSize = AnswerHeaderSize + dataSize;
    if (bytes.size() < parsed.frameSize)
        return parsed;
    parsed.verdict = AnswerVerdict::Valid;
    parsed.tag = read32(bytes, 8);
    net::EchoOutcome &outcome = parsed.outcome;
    outcome.origin = static_cast<net::FailureOrigin>(read8(bytes, 5));
    outcome.message = {read8(bytes, 6), read8(bytes, 7)};
    outcome.status = static_cast<std::int32_t>(read32(bytes, 12));
    outcome.roundTrip = readRoundTrip(bytes);
    std::memcpy(&outcome.responder, bytes.data() + 24, 4);
    outcome.ttl = read8(bytes, 28);
    outcome.tos = read8(bytes, 29);
    outcome.data = bytes.subspan(AnswerHeaderSize, dataSize);
    return parsed;
}

std::size_t encodeAnswer(std::uint32_t tag, const net::EchoOutcome &outcome,
                         std::span<std::byte> frame) noexcept
{
    writePrefix(frame, AnswerMagic);
    frame[5] = std::byte{static_cast<std::uint8_t>(outcome.origin)};
    frame[6] = std::byte{outcome.message.type};
    frame[7] = std::byte{outcome.message.code};
    writeBig(frame, 8, 4, tag);
    writeBig(frame, 12, 4, static_cast<std::uint32_t>(outcome.status));
    writeBig(frame, 16, 8, static_cast<std::uint64_t>(outcome.roundTrip.count()));
    std::memcpy(frame.data() + 24, &outcome.responder, 4);
    frame[28] = std::byte{outcome.ttl};
    frame[29] = std::byte{outcome.tos};
    frame[30] = std::byte{0};
    frame[31] = std::byte{0};
    writeBig(frame, 32, 4, outcome.data.size());
    std::copy(outcome.data.begin(), outcome.data.end(), frame.begin() + AnswerHeaderSize);
    return AnswerHeaderSize + outcome.data.size();
}

} // namespace helper
