#include "responder_plan.h"

#include "echowatch/icmp/icmp_packet.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <charconv>
#include <utility>

namespace lab {
namespace {

using std::chrono::milliseconds;
using testpackets::Bytes;
using testpackets::icmpMessage;
using testpackets::ipv4Packet;

constexpr milliseconds FloodLength{600};
constexpr milliseconds FloodBurstEvery{5};
constexpr int FloodBurstSize = 20;

template <typename Number> std::optional<Number> parseNumber(std::string_view text)
{
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

template <typename Value, std::size_t Count>
std::optional<Value> byName(const std::array<std::pair<std::string_view, Value>, Count> &names,
                            std::string_view text)
{
    for (const auto &[name, value] : names)
        if (name == text)
            return value;
    return std::nullopt;
}

std::optional<Broken> parseBroken(std::string_view text)
{
    constexpr std::array<std::pair<std::string_view, Broken>, 6> names{{
        {"foreign-identifier", Broken::ForeignIdentifier},
        {"foreign-sequence", Broken::ForeignSequence},
        {"foreign-source", Broken::ForeignSource},
        {"truncated", Broken::Truncated},
        {"oversized", Broken::Oversized},
        {"foreign-quote", Broken::ForeignQuote},
    }};
    return byName(names, text);
}

std::optional<Then> parseThen(std::string_view text)
{
    constexpr std::array<std::pair<std::string_view, Then>, 4> names{{
        {"answer", Then::Answer},
        {"answer-at-once", Then::AnswerAtOnce},
        {"answer-first", Then::AnswerFirst},
        {"silent", Then::Silence},
    }};
    return byName(names, text);
}

// An echo reply to the request's sender; each field can be made wrong.
struct ReplyFields
{
    std::uint32_t source;
    std::uint16_t identifier;
    std::uint16_t sequence;
    Bytes data;
};

ReplyFields rightFields(const EchoRequest &request)
{
    const auto data = request.data();
    return {request.destination, request.identifier, request.sequence,
            Bytes(data.begin(), data.end())};
}

Bytes reply(const EchoRequest &request, const ReplyFields &fields)
{
    const auto message =
        icmpMessage(icmp::Type::EchoReply, 0, fields.identifier, fields.sequence, fields.data);
    return ipv4Packet(fields.source, request.source, icmp::ProtocolIcmp, message);
}

std::uint32_t neighbourOf(std::uint32_t address)
{
    return htonl(ntohl(address) + 1);
}

// An ICMP error from us back to the client, quoting the given packet whole.
Bytes errorTo(const EchoRequest &request, std::uint8_t type, std::uint8_t code,
              std::span<const std::byte> quoted)
{
    return ipv4Packet(request.destination, request.source, icmp::ProtocolIcmp,
                      testpackets::icmpError(type, code, quoted));
}

// Where an echo header field sits in the quoted request.
enum class QuotedField : std::size_t
{
    Identifier = 4,
    Sequence = 6,
};

// An error from us quoting a request the client never sent: the given
// field of it is offset further on.
Bytes errorAboutAnotherRequest(const EchoRequest &request, std::uint8_t type, std::uint8_t code,
                               std::uint16_t offset, QuotedField field = QuotedField::Sequence)
{
    Bytes quoted = request.packet;
    const std::size_t at =
        (std::to_integer<std::size_t>(quoted[0]) & 0x0f) * 4 + static_cast<std::size_t>(field);
    const auto original = static_cast<std::uint16_t>(std::to_integer<unsigned>(quoted[at]) << 8 |
                                                     std::to_integer<unsigned>(quoted[at + 1]));
    const auto value = static_cast<std::uint16_t>(original + offset);
    quoted[at] = static_cast<std::byte>(value >> 8);
    quoted[at + 1] = static_cast<std::byte>(value & 0xff);
    return errorTo(request, type, code, quoted);
}

Bytes brokenReply(const EchoRequest &request, Broken broken)
{
    auto fields = rightFields(request);
    switch (broken) {
    case Broken::ForeignIdentifier:
        ++fields.identifier;
        break;
    case Broken::ForeignSequence:
        ++fields.sequence;
        break;
    case Broken::ForeignSource:
        fields.source = neighbourOf(fields.source);
        break;
    case Broken::Truncated:
        fields.data.resize(fields.data.size() / 2);
        break;
    case Broken::Oversized:
        fields.data.resize(OversizedDataSize, std::byte{'x'});
        break;
    case Broken::ForeignQuote:
        return errorAboutAnotherRequest(request, icmp::Type::ParameterProblem, 0, 1);
    }
    return reply(request, fields);
}

// Unrelated to the request, but as close to it as a neighbour's traffic
// gets: our identifier with other sequences, other identifiers, errors
// about other requests.
Bytes floodPacket(const EchoRequest &request, int index)
{
    auto fields = rightFields(request);
    const auto offset = static_cast<std::uint16_t>(1 + index);
    switch (index % 3) {
    case 0:
        fields.sequence = static_cast<std::uint16_t>(fields.sequence + offset);
        return reply(request, fields);
    case 1:
        fields.identifier = static_cast<std::uint16_t>(fields.identifier + offset);
        return reply(request, fields);
    default:
        return errorAboutAnotherRequest(request, icmp::Type::DestinationUnreachable, 1, offset);
    }
}

// A neighbour's traffic: replies to and errors about requests of other
// identifiers (never ours: the offset runs from 1 to 65535).
Bytes foreignPacket(const EchoRequest &request, int index)
{
    const auto offset = static_cast<std::uint16_t>(1 + index % 65535);
    if (index % 2 == 0) {
        auto fields = rightFields(request);
        fields.identifier = static_cast<std::uint16_t>(fields.identifier + offset);
        return reply(request, fields);
    }
    return errorAboutAnotherRequest(request, icmp::Type::DestinationUnreachable, 1, offset,
                                    QuotedField::Identifier);
}

} // namespace

std::optional<ResponderPlan> ResponderPlan::parse(std::span<const std::string_view> arguments)
{
    if (arguments.empty())
        return std::nullopt;
    ResponderPlan plan;
    const auto mode = arguments[0];
    const auto rest = arguments.subspan(1);
    if (mode == "answer" && !rest.empty()) {
        plan.m_mode = Mode::Answer;
        for (const auto text : rest) {
            const auto delay = parseNumber<int>(text);
            if (!delay)
                return std::nullopt;
            plan.m_delays.emplace_back(*delay);
        }
        return plan;
    }
    if (mode == "error" && (rest.size() == 2 || rest.size() == 3)) {
        const auto type = parseNumber<std::uint8_t>(rest[0]);
        const auto code = parseNumber<std::uint8_t>(rest[1]);
        const auto then = rest.size() == 3 ? parseThen(rest[2]) : Then::Silence;
        if (!type || !code || !then)
            return std::nullopt;
        plan.m_mode = Mode::Error;
        plan.m_type = *type;
        plan.m_code = *code;
        plan.m_then = *then;
        return plan;
    }
    if (mode == "flood-foreign" && rest.size() == 1) {
        const auto rate = parseNumber<int>(rest[0]);
        if (!rate || *rate <= 0)
            return std::nullopt;
        plan.m_mode = Mode::ForeignFlood;
        plan.m_packetsPerSecond = *rate;
        return plan;
    }
    const auto then = rest.empty() ? std::nullopt : parseThen(rest.back());
    if (!then)
        return std::nullopt;
    plan.m_then = *then;
    if (mode == "flood" && rest.size() == 1) {
        plan.m_mode = Mode::Flood;
        return plan;
    }
    const auto broken = rest.size() == 2 ? parseBroken(rest[0]) : std::nullopt;
    if (mode != "broken" || !broken)
        return std::nullopt;
    plan.m_mode = Mode::Broken;
    plan.m_broken = *broken;
    return plan;
}

std::vector<Scheduled> ResponderPlan::respond(const EchoRequest &request)
{
    const std::size_t index = m_requestsSeen++;
    switch (m_mode) {
    case Mode::Answer: {
        const auto delay = m_delays[std::min(index, m_delays.size() - 1)];
        return {{delay, reply(request, rightFields(request))}};
    }
    case Mode::Error:
        return firstThenAnswer(request, errorTo(request, m_type, m_code, request.packet));
    case Mode::Broken:
        return firstThenAnswer(request, brokenReply(request, m_broken));
    case Mode::Flood:
        return respondFlood(request);
    case Mode::ForeignFlood:
        return respondForeignFlood(request);
    }
    return {};
}

std::vector<Scheduled> ResponderPlan::firstThenAnswer(const EchoRequest &request, Bytes first) const
{
    // Packets due at the same time leave in the order given.
    auto answer = reply(request, rightFields(request));
    switch (m_then) {
    case Then::Answer:
        return {{milliseconds{0}, std::move(first)}, {RightAnswerAfterBroken, std::move(answer)}};
    case Then::AnswerAtOnce:
        return {{milliseconds{0}, std::move(first)}, {milliseconds{0}, std::move(answer)}};
    case Then::AnswerFirst:
        return {{milliseconds{0}, std::move(answer)}, {milliseconds{0}, std::move(first)}};
    case Then::Silence:
        break;
    }
    return {{milliseconds{0}, std::move(first)}};
}

std::vector<Scheduled> ResponderPlan::respondFlood(const EchoRequest &request) const
{
    std::vector<Scheduled> packets;
    int index = 0;
    for (auto at = milliseconds{0}; at < FloodLength; at += FloodBurstEvery) {
        if (m_then == Then::Answer && at == RightAnswerDuringFlood)
            packets.push_back({at, reply(request, rightFields(request))});
        for (int i = 0; i < FloodBurstSize; ++i)
            packets.push_back({at, floodPacket(request, index++)});
    }
    return packets;
}

std::vector<Scheduled> ResponderPlan::respondForeignFlood(const EchoRequest &request) const
{
    const int perBurst = std::max(1, m_packetsPerSecond / 1000);
    std::vector<Scheduled> packets;
    packets.reserve(static_cast<std::size_t>(FloodLength.count() * perBurst));
    int index = 0;
    for (auto at = milliseconds{0}; at < FloodLength; ++at)
        for (int i = 0; i < perBurst; ++i)
            packets.push_back({at, foreignPacket(request, index++)});
    return packets;
}

} // namespace lab
