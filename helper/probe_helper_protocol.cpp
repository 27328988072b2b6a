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

bool hasPrefix(std::span<const std::byte> bytes, const Magic &magic) noexcept
{
    return std::equal(magic.begin(), magic.end(), bytes.begin()) &&
           read8(bytes, 4) == ProtocolVersion;
}

void writePrefix(std::span<std::byte> frame, const Magic &magic, std::uint8_t kind) noexcept
{
    std::copy(magic.begin(), magic.end(), frame.begin());
    frame[4] = std::byte{ProtocolVersion};
    frame[5] = std::byte{kind};
    frame[6] = std::byte{0};
    frame[7] = std::byte{0};
}

std::chrono::nanoseconds readRoundTrip(std::span<const std::byte> answer) noexcept
{
    return std::chrono::nanoseconds{static_cast<std::int64_t>(readBig(answer, 12, 8))};
}

// Anything else would be credited as an answer that never was, and the
// extremes overflow whatever converts them.
bool roundTripWithin(std::chrono::nanoseconds roundTrip, std::chrono::nanoseconds limit) noexcept
{
    return roundTrip == net::EchoOutcome::NoRoundTrip ||
           (roundTrip >= std::chrono::nanoseconds::zero() && roundTrip <= limit);
}

bool withinLimits(std::span<const std::byte> header) noexcept
{
    return read8(header, 5) == EchoKind && read8(header, 7) == 0 &&
           read32(header, 12) <= MaxTimeout.count();
}

} // namespace

ParsedRequest parseRequest(std::span<const std::byte> bytes) noexcept
{
    ParsedRequest parsed{RequestVerdict::Incomplete, RequestHeaderSize, {}};
    if (bytes.size() < RequestHeaderSize)
        return parsed;
    // Framing first: a stream whose lengths can't be trusted is not read on.
    const auto dataSize = read32(bytes, 16);
    if (!hasPrefix(bytes, RequestMagic) || dataSize > MaxRequestData)
        return {RequestVerdict::Malformed, 0, {}};
    parsed.frameSize = RequestHeaderSize + dataSize;
    if (bytes.size() < parsed.frameSize)
        return parsed;
    parsed.verdict = withinLimits(bytes) ? RequestVerdict::Valid : RequestVerdict::Refused;
    std::memcpy(&parsed.request.destination, bytes.data() + 8, 4);
    parsed.request.timeout = std::chrono::milliseconds{read32(bytes, 12)};
    parsed.request.ttl = read8(bytes, 6);
    parsed.request.data = bytes.subspan(RequestHeaderSize, dataSize);
    return parsed;
}

std::size_t encodeRequest(const EchoRequest &request, std::span<std::byte> frame) noexcept
{
    writePrefix(frame, RequestMagic, EchoKind);
    frame[6] = std::byte{request.ttl};
    std::memcpy(frame.data() + 8, &request.destination, 4);
    writeBig(frame, 12, 4, static_cast<std::uint32_t>(request.timeout.count()));
    writeBig(frame, 16, 4, request.data.size());
    std::copy(request.data.begin(), request.data.end(), frame.begin() + RequestHeaderSize);
    return RequestHeaderSize + request.data.size();
}

ParsedAnswer parseAnswer(std::span<const std::byte> bytes, AnswerLimits limits) noexcept
{
    ParsedAnswer parsed{AnswerVerdict::Incomplete, AnswerHeaderSize, {}};
    if (bytes.size() < AnswerHeaderSize)
        return parsed;
    const auto dataSize = read32(bytes, 28);
    if (!hasPrefix(bytes, AnswerMagic) || read8(bytes, 5) > LastOrigin || read8(bytes, 6) != 0 ||
        read8(bytes, 7) != 0 || read8(bytes, 26) != 0 || read8(bytes, 27) != 0 ||
        dataSize > limits.data || !roundTripWithin(readRoundTrip(bytes), limits.roundTrip))
        return {AnswerVerdict::Malformed, 0, {}};
    parsed.frameSize = AnswerHeaderSize + dataSize;
    if (bytes.size() < parsed.frameSize)
        return parsed;
    parsed.verdict = AnswerVerdict::Valid;
    net::EchoOutcome &outcome = parsed.outcome;
    outcome.origin = static_cast<net::FailureOrigin>(read8(bytes, 5));
    outcome.status = static_cast<std::int32_t>(read32(bytes, 8));
    outcome.roundTrip = readRoundTrip(bytes);
    std::memcpy(&outcome.responder, bytes.data() + 20, 4);
    outcome.ttl = read8(bytes, 24);
    outcome.tos = read8(bytes, 25);
    outcome.data = bytes.subspan(AnswerHeaderSize, dataSize);
    return parsed;
}

std::size_t encodeAnswer(const net::EchoOutcome &outcome, std::span<std::byte> frame) noexcept
{
    writePrefix(frame, AnswerMagic, static_cast<std::uint8_t>(outcome.origin));
    writeBig(frame, 8, 4, static_cast<std::uint32_t>(outcome.status));
    writeBig(frame, 12, 8, static_cast<std::uint64_t>(outcome.roundTrip.count()));
    std::memcpy(frame.data() + 20, &outcome.responder, 4);
    frame[24] = std::byte{outcome.ttl};
    frame[25] = std::byte{outcome.tos};
    frame[26] = std::byte{0};
    frame[27] = std::byte{0};
    writeBig(frame, 28, 4, outcome.data.size());
    std::copy(outcome.data.begin(), outcome.data.end(), frame.begin() + AnswerHeaderSize);
    return AnswerHeaderSize + outcome.data.size();
}

} // namespace helper
