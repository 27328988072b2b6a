#include "echowatch/icmp/icmp_packet.h"
#include "echowatch/icmp/ip_status.h"
#include "echowatch/net/icmp_kernel_filter.h"
#include "support/echo_record.h"
#include "support/packet_builder.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace testpackets;
using icmp::matchDatagramReply;
using icmp::matchQueuedError;
using icmp::matchRawPacket;
using icmp::QueuedError;
using icmp::SentEcho;
namespace Type = icmp::Type;
namespace IpStatus = icmp::IpStatus;

constexpr std::uint16_t Identifier = 0x1234;
constexpr std::uint8_t Unreachable = Type::DestinationUnreachable;
constexpr std::uint16_t Sequence = 7;
const Bytes Payload = bytesOf(TestPayload);
// What a ping socket's error-queue entry quotes of our request.
const Bytes OurQuote = icmpMessage(Type::EchoRequest, 0, 4321, Sequence, Payload);
const std::uint32_t Host = address("198.51.100.7");
const std::uint32_t Us = address("192.0.2.10");
const std::uint32_t Router = address("203.0.113.1");

SentEcho sentEcho()
{
    return SentEcho{Host, Identifier, Sequence, Payload};
}

Bytes reply(std::uint32_t from, std::uint16_t identifier, std::uint16_t sequence,
            std::span<const std::byte> data)
{
    return ipv4Packet(from, Us, icmp::ProtocolIcmp,
                      icmpMessage(Type::EchoReply, 0, identifier, sequence, data));
}

Bytes withCorruptedByte(Bytes bytes, std::size_t offset)
{
    bytes[offset] ^= std::byte{0x01};
    return bytes;
}

Bytes cutTo(Bytes bytes, std::size_t size)
{
    bytes.resize(size);
    return bytes;
}

Bytes errorAbout(std::uint8_t type, std::uint8_t code)
{
    return icmpErrorQuoting(Router, Us, type, code, Host, Identifier, Sequence);
}

// Whether the kernel filter a raw socket gets lets the packet through: it
// looks at types and identifiers only, and leaves the rest (a late answer's
// sequence among them) to the matcher.
enum class Filter
{
    Passes,
    Drops,
};

struct RawCase
{
    const char *name;
    Bytes packet;
    std::optional<std::int32_t> status;
    Filter filter;
};

std::vector<RawCase> rawCases()
{
    const Bytes right = reply(Host, Identifier, Sequence, Payload);
    Bytes otherData = Payload;
    otherData[31] = std::byte{'X'};
    Bytes udpQuote = errorAbout(Type::DestinationUnreachable, 1);
    udpQuote[20 + 8 + 9] = std::byte{17}; // the quoted header's protocol
    return {
        {"ourReply", right, IpStatus::Success, Filter::Passes},
        {"foreignIdentifier", reply(Host, Identifier + 1, Sequence, Payload), std::nullopt,
         Filter::Drops},
        {"lateAnswerToAnEarlierProbe", reply(Host, Identifier, Sequence - 1, Payload), std::nullopt,
         Filter::Passes},
        {"foreignSource", reply(Router, Identifier, Sequence, Payload), std::nullopt,
         Filter::Passes},
        {"otherData", reply(Host, Identifier, Sequence, otherData), std::nullopt, Filter::Passes},
        {"shortData", reply(Host, Identifier, Sequence, std::span(Payload).first(16)), std::nullopt,
         Filter::Passes},
        {"badChecksum", withCorruptedByte(right, 30), std::nullopt, Filter::Passes},
        {"truncatedIpHeader", cutTo(right, 12), std::nullopt, Filter::Drops},
        {"truncatedIcmpHeader", cutTo(right, 24), std::nullopt, Filter::Drops},
        {"ourOwnRequestOnLoopback",
         ipv4Packet(Us, Host, icmp::ProtocolIcmp,
                    icmpMessage(Type::EchoRequest, 0, Identifier, Sequence, Payload)),
         std::nullopt, Filter::Drops},
        {"notIcmp", ipv4Packet(Host, Us, 17, icmpMessage(0, 0, Identifier, Sequence, Payload)),
         std::nullopt, Filter::Passes},
        {"netUnreachable", errorAbout(Type::DestinationUnreachable, 0),
         IpStatus::DestNetUnreachable, Filter::Passes},
        {"hostUnreachable", errorAbout(Type::DestinationUnreachable, 1),
         IpStatus::DestHostUnreachable, Filter::Passes},
        {"ttlExpired", errorAbout(Type::TimeExceeded, 0), IpStatus::TtlExpiredTransit,
         Filter::Passes},
        {"reassemblyExpired", errorAbout(Type::TimeExceeded, 1), IpStatus::TtlExpiredReassem,
         Filter::Passes},
        {"parameterProblem", errorAbout(Type::ParameterProblem, 0), IpStatus::ParamProblem,
         Filter::Passes},
        {"sourceQuench", errorAbout(Type::SourceQuench, 0), IpStatus::SourceQuench, Filter::Passes},
        {"redirectIsNoOutcome", errorAbout(Type::Redirect, 1), std::nullopt, Filter::Drops},
        {"errorAboutSomeoneElsesIdentifier",
         icmpErrorQuoting(Router, Us, Type::DestinationUnreachable, 1, Host, Identifier + 1,
                          Sequence),
         std::nullopt, Filter::Drops},
        {"errorAboutAnEarlierProbe",
         icmpErrorQuoting(Router, Us, Type::DestinationUnreachable, 1, Host, Identifier,
                          Sequence - 1),
         std::nullopt, Filter::Passes},
        {"errorAboutAnotherDestination",
         icmpErrorQuoting(Router, Us, Type::DestinationUnreachable, 1, Router, Identifier,
                          Sequence),
         std::nullopt, Filter::Passes},
        {"errorQuotingUdp", udpQuote, std::nullopt, Filter::Drops},
        {"errorWithQuoteCutShort", cutTo(errorAbout(Type::DestinationUnreachable, 1), 20 + 8 + 24),
         std::nullopt, Filter::Drops},
    };
}

std::optional<std::int32_t> statusOf(const std::optional<icmp::Answer> &answer)
{
    return answer ? std::optional(answer->status) : std::nullopt;
}

class RawPacket : public testing::TestWithParam<RawCase>
{};

TEST_P(RawPacket, IsRecognisedOnlyWhenItAnswersOurRequest)
{
    EXPECT_EQ(statusOf(matchRawPacket(GetParam().packet, sentEcho())), GetParam().status);
}

// On a datagram socket of our own: the program sees a packet laid out as a
// raw socket hands it over, and the kernel runs it the same way.
TEST_P(RawPacket, PassesTheKernelFilterOnlyWhenItMayAnswerOurRequest)
{
    int ends[2] = {-1, -1};
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, ends), 0);
    ASSERT_TRUE(net::attachEchoAnswerFilter(ends[0], Identifier));
    const Bytes &packet = GetParam().packet;
    ASSERT_EQ(::send(ends[1], packet.data(), packet.size(), 0),
              static_cast<ssize_t>(packet.size()));
    std::array<std::byte, 128> received{};
    const ssize_t length = ::recv(ends[0], received.data(), received.size(), MSG_DONTWAIT);
    EXPECT_EQ(length < 0 ? Filter::Drops : Filter::Passes, GetParam().filter);
    ::close(ends[0]);
    ::close(ends[1]);
}

INSTANTIATE_TEST_SUITE_P(Matcher, RawPacket, testing::ValuesIn(rawCases()),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(RawPacketAnswer, CarriesTheSenderAndTheEchoedData)
{
    const Bytes packet = reply(Host, Identifier, Sequence, Payload);
    const auto echoed = matchRawPacket(packet, sentEcho());
    ASSERT_TRUE(echoed);
    EXPECT_EQ(echoed->from, Host);
    EXPECT_EQ(echoed->ttl, 64);
    EXPECT_TRUE(std::equal(echoed->echoedData.begin(), echoed->echoedData.end(), Payload.begin(),
                           Payload.end()));

    EXPECT_EQ(echoed->kind, (icmp::MessageKind{0, 0}));

    const Bytes errorPacket = errorAbout(Type::TimeExceeded, 0);
    const auto error = matchRawPacket(errorPacket, sentEcho());
    ASSERT_TRUE(error);
    EXPECT_EQ(error->from, Router);
    EXPECT_TRUE(error->echoedData.empty());
    EXPECT_EQ(error->kind, (icmp::MessageKind{11, 0}));
}

// What a status folds together, the message kind keeps apart: an
// administrative refusal and a host-unreachable share their status, on
// either kind of socket.
TEST(ErrorAnswer, KeepsTheMessagesTypeAndCode)
{
    for (const std::uint8_t code : {1, 10, 13}) {
        const Bytes packet = errorAbout(Unreachable, code);
        const auto raw = matchRawPacket(packet, sentEcho());
        ASSERT_TRUE(raw) << int(code);
        EXPECT_EQ(raw->status, IpStatus::DestHostUnreachable);
        EXPECT_EQ(raw->kind, (icmp::MessageKind{Unreachable, code}));
        const QueuedError queued{icmp::ErrorOriginIcmp, Unreachable, code, Router, Host, OurQuote};
        const auto datagram = matchQueuedError(queued, sentEcho());
        ASSERT_TRUE(datagram) << int(code);
        EXPECT_EQ(datagram->kind, (icmp::MessageKind{Unreachable, code}));
    }
}

// Where only the status is known (a ping socket's errno), the message it
// most often stands for; none for what no message gives.
TEST(ErrorAnswer, StatusesNameTheirUsualMessage)
{
    const std::pair<std::int32_t, std::optional<icmp::MessageKind>> cases[] = {
        {IpStatus::DestNetUnreachable, icmp::MessageKind{3, 0}},
        {IpStatus::DestHostUnreachable, icmp::MessageKind{3, 1}},
        {IpStatus::DestProtUnreachable, icmp::MessageKind{3, 2}},
        {IpStatus::DestPortUnreachable, icmp::MessageKind{3, 3}},
        {IpStatus::PacketTooBig, icmp::MessageKind{3, 4}},
        {IpStatus::BadRoute, icmp::MessageKind{3, 5}},
        {IpStatus::TtlExpiredTransit, icmp::MessageKind{11, 0}},
        {IpStatus::TtlExpiredReassem, icmp::MessageKind{11, 1}},
        {IpStatus::ParamProblem, icmp::MessageKind{12, 0}},
        {IpStatus::SourceQuench, icmp::MessageKind{4, 0}},
        {IpStatus::ReqTimedOut, std::nullopt},
        {IpStatus::Success, std::nullopt},
        {IpStatus::GeneralFailure, std::nullopt},
    };
    for (const auto &[status, kind] : cases)
        EXPECT_EQ(icmp::usualMessageFor(status), kind) << status;
}

// The sequence an answer is about, read before it is matched to one of
// several requests in flight: a reply's own, a quoted request's.
TEST(AnswerSequence, IsReadFromTheReplyOrTheQuote)
{
    EXPECT_EQ(icmp::rawAnswerSequence(reply(Host, Identifier, 41, Payload)), 41);
    EXPECT_EQ(icmp::rawAnswerSequence(errorAbout(Type::TimeExceeded, 0)), Sequence);
    EXPECT_EQ(icmp::rawAnswerSequence(cutTo(errorAbout(Type::TimeExceeded, 0), 40)),
              std::nullopt);
    EXPECT_EQ(icmp::rawAnswerSequence(cutTo(reply(Host, Identifier, 41, Payload), 24)),
              std::nullopt);
    EXPECT_EQ(icmp::datagramReplySequence(icmpMessage(Type::EchoReply, 0, 0, 42, Payload)), 42);
    EXPECT_EQ(icmp::datagramReplySequence(icmpMessage(Type::EchoRequest, 0, 0, 42, Payload)),
              std::nullopt);
    const Bytes quote = icmpMessage(Type::EchoRequest, 0, 0, 43, Payload);
    const QueuedError queued{icmp::ErrorOriginIcmp, 3, 1, Router, Host, quote};
    EXPECT_EQ(icmp::queuedErrorSequence(queued), 43);
    QueuedError stamp = queued;
    stamp.origin = 4;
    EXPECT_EQ(icmp::queuedErrorSequence(stamp), std::nullopt);
}

struct IcmpErrorCase
{
    std::uint8_t type;
    std::uint8_t code;
    std::optional<std::int32_t> status;
};

class IcmpErrorMapping : public testing::TestWithParam<IcmpErrorCase>
{};

TEST_P(IcmpErrorMapping, NamesTheOutcome)
{
    EXPECT_EQ(icmp::statusForIcmpError(GetParam().type, GetParam().code), GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(
    Table, IcmpErrorMapping,
    testing::Values(IcmpErrorCase{Unreachable, 0, IpStatus::DestNetUnreachable},
                    IcmpErrorCase{Unreachable, 6, IpStatus::DestNetUnreachable},
                    IcmpErrorCase{Unreachable, 9, IpStatus::DestNetUnreachable},
                    IcmpErrorCase{Unreachable, 11, IpStatus::DestNetUnreachable},
                    IcmpErrorCase{Unreachable, 1, IpStatus::DestHostUnreachable},
                    IcmpErrorCase{Unreachable, 7, IpStatus::DestHostUnreachable},
                    IcmpErrorCase{Unreachable, 8, IpStatus::DestHostUnreachable},
                    IcmpErrorCase{Unreachable, 10, IpStatus::DestHostUnreachable},
                    IcmpErrorCase{Unreachable, 12, IpStatus::DestHostUnreachable},
                    IcmpErrorCase{Unreachable, 13, IpStatus::DestHostUnreachable},
                    IcmpErrorCase{Unreachable, 14, IpStatus::DestHostUnreachable},
                    IcmpErrorCase{Unreachable, 15, IpStatus::DestHostUnreachable},
                    IcmpErrorCase{Unreachable, 2, IpStatus::DestProtUnreachable},
                    IcmpErrorCase{Unreachable, 3, IpStatus::DestPortUnreachable},
                    IcmpErrorCase{Unreachable, 4, IpStatus::PacketTooBig},
                    IcmpErrorCase{Unreachable, 5, IpStatus::BadRoute},
                    IcmpErrorCase{Unreachable, 16, IpStatus::GeneralFailure},
                    IcmpErrorCase{Type::TimeExceeded, 0, IpStatus::TtlExpiredTransit},
                    IcmpErrorCase{Type::TimeExceeded, 1, IpStatus::TtlExpiredReassem},
                    IcmpErrorCase{Type::TimeExceeded, 2, IpStatus::GeneralFailure},
                    IcmpErrorCase{Type::ParameterProblem, 0, IpStatus::ParamProblem},
                    IcmpErrorCase{Type::ParameterProblem, 1, IpStatus::ParamProblem},
                    IcmpErrorCase{Type::SourceQuench, 0, IpStatus::SourceQuench},
                    IcmpErrorCase{Type::Redirect, 0, std::nullopt},
                    IcmpErrorCase{Type::EchoReply, 0, std::nullopt},
                    IcmpErrorCase{Type::EchoRequest, 0, std::nullopt},
                    IcmpErrorCase{13, 0, std::nullopt}),
    [](const auto &info) {
        return "type" + std::to_string(info.param.type) + "code" + std::to_string(info.param.code);
    });

// A datagram socket hands over the ICMP message alone; the kernel has
// matched the identifier, nothing else.
TEST(DatagramReply, CountsOnlyWithOurSourceSequenceAndData)
{
    const auto ours = icmpMessage(Type::EchoReply, 0, 999, Sequence, Payload);
    const auto answer = matchDatagramReply(ours, Host, 61, 0, sentEcho());
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, IpStatus::Success);
    EXPECT_EQ(answer->ttl, 61);
    EXPECT_EQ(answer->echoedData.size(), Payload.size());

    Bytes otherData = Payload;
    otherData[0] = std::byte{'0'};
    EXPECT_FALSE(matchDatagramReply(ours, Router, 64, 0, sentEcho()));
    EXPECT_FALSE(matchDatagramReply(icmpMessage(Type::EchoReply, 0, 999, Sequence + 1, Payload),
                                    Host, 64, 0, sentEcho()));
    EXPECT_FALSE(matchDatagramReply(icmpMessage(Type::EchoReply, 0, 999, Sequence, otherData), Host,
                                    64, 0, sentEcho()));
    EXPECT_FALSE(matchDatagramReply(cutTo(ours, 7), Host, 64, 0, sentEcho()));
    EXPECT_FALSE(matchDatagramReply(cutTo(ours, 20), Host, 64, 0, sentEcho()));
}

struct QueuedCase
{
    const char *name;
    QueuedError error;
    std::optional<std::int32_t> status;
};

class QueuedErrorMatch : public testing::TestWithParam<QueuedCase>
{};

TEST_P(QueuedErrorMatch, CountsOnlyIcmpErrorsAboutOurRequest)
{
    const auto answer = matchQueuedError(GetParam().error, sentEcho());
    EXPECT_EQ(statusOf(answer), GetParam().status);
    if (answer) {
        EXPECT_EQ(answer->from, Router);
    }
}

const Bytes OtherSequenceQuote = icmpMessage(Type::EchoRequest, 0, 4321, Sequence + 1, Payload);
const Bytes ReplyQuote = icmpMessage(Type::EchoReply, 0, 4321, Sequence, Payload);
constexpr std::uint8_t OriginIcmp = icmp::ErrorOriginIcmp;
constexpr std::uint8_t OriginLocal = 1;

INSTANTIATE_TEST_SUITE_P(
    Matcher, QueuedErrorMatch,
    testing::Values(
        QueuedCase{"portUnreachable",
                   {OriginIcmp, 3, 3, Router, Host, OurQuote},
                   IpStatus::DestPortUnreachable},
        QueuedCase{
            "ttlExpired", {OriginIcmp, 11, 0, Router, Host, OurQuote}, IpStatus::TtlExpiredTransit},
        QueuedCase{
            "redirectAheadOfTheAnswer", {OriginIcmp, 5, 1, Router, Host, OurQuote}, std::nullopt},
        QueuedCase{"localOrigin", {OriginLocal, 3, 3, Router, Host, OurQuote}, std::nullopt},
        QueuedCase{
            "anotherDestination", {OriginIcmp, 3, 1, Router, Router, OurQuote}, std::nullopt},
        QueuedCase{
            "anotherSequence", {OriginIcmp, 3, 1, Router, Host, OtherSequenceQuote}, std::nullopt},
        QueuedCase{"quotesAReply", {OriginIcmp, 3, 1, Router, Host, ReplyQuote}, std::nullopt},
        QueuedCase{
            "quoteCutShort", {OriginIcmp, 3, 1, Router, Host, cutTo(OurQuote, 6)}, std::nullopt}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(EchoRequest, CarriesIdentifierSequenceDataAndAValidChecksum)
{
    std::array<std::byte, 64> buffer{};
    const auto request = icmp::buildEchoRequest(buffer, Identifier, Sequence, Payload);
    ASSERT_EQ(request.size(), 8 + Payload.size());
    // One byte short: nothing is written rather than a request cut short.
    EXPECT_TRUE(icmp::buildEchoRequest(std::span(buffer).first(request.size() - 1), Identifier,
                                       Sequence, Payload)
                    .empty());
    const auto header = icmp::readEchoHeader(request);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->type, Type::EchoRequest);
    EXPECT_EQ(header->code, 0);
    EXPECT_EQ(header->identifier, Identifier);
    EXPECT_EQ(header->sequence, Sequence);
    EXPECT_EQ(icmp::internetChecksum(request), 0);
    EXPECT_TRUE(std::equal(Payload.begin(), Payload.end(), request.begin() + 8));
}

TEST(InternetChecksum, HandlesOddLengthsAndCarries)
{
    // Worked examples: RFC 1071's sum, and an odd byte padded with zero.
    const Bytes rfc{std::byte{0x00}, std::byte{0x01}, std::byte{0xf2}, std::byte{0x03},
                    std::byte{0xf4}, std::byte{0xf5}, std::byte{0xf6}, std::byte{0xf7}};
    EXPECT_EQ(icmp::internetChecksum(rfc), static_cast<std::uint16_t>(~0xddf2));
    const Bytes odd{std::byte{0xff}, std::byte{0xff}, std::byte{0x01}};
    EXPECT_EQ(icmp::internetChecksum(odd), static_cast<std::uint16_t>(~0x0100));
}

} // namespace
