#include "echowatch/icmp/ip_status.h"
#include "echowatch/net/icmp_reply_writer.h"
#include "echowatch/probe/echo_reply.h"
#include "support/echo_record.h"
#include "support/packet_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

namespace IpStatus = icmp::IpStatus;

// The record with guard bytes behind it: a write past its end shows there.
struct GuardedReply
{
    std::array<std::byte, sizeof(EchoReply) + 64> bytes{};
    GuardedReply() { std::fill(bytes.begin() + sizeof(EchoReply), bytes.end(), std::byte{0xa5}); }
    std::span<std::byte> record() { return std::span(bytes).first(sizeof(EchoReply)); }
    EchoReply reply() const
    {
        EchoReply copy;
        std::memcpy(&copy, bytes.data(), sizeof copy);
        return copy;
    }
    bool guardIntact() const
    {
        return std::all_of(bytes.begin() + sizeof(EchoReply), bytes.end(),
                           [](std::byte b) { return b == std::byte{0xa5}; });
    }
};

net::EchoOutcome answerWith(std::span<const std::byte> data,
                            std::chrono::nanoseconds roundTrip = std::chrono::milliseconds(12))
{
    net::EchoOutcome outcome;
    outcome.status = IpStatus::Success;
    outcome.roundTrip = roundTrip;
    outcome.responder = testpackets::address("127.0.0.1");
    outcome.ttl = 64;
    outcome.data = data;
    return outcome;
}

net::EchoOutcome failure(std::int32_t status)
{
    net::EchoOutcome outcome;
    outcome.status = status;
    return outcome;
}

TEST(EchoReplyRecord, ReceivesHeaderAndEchoedData)
{
    GuardedReply buffer;
    const auto data = testpackets::bytesOf(TestPayload);
    EXPECT_EQ(net::writeEchoRecord(buffer.record(), answerWith(data)), 1u);
    const EchoReply reply = buffer.reply();
    EXPECT_EQ(reply.header.status, 0u);
    EXPECT_EQ(reply.header.address, testpackets::address("127.0.0.1"));
    EXPECT_EQ(reply.header.roundTripTime, 12u);
    EXPECT_EQ(reply.header.dataSize, 32u);
    EXPECT_EQ(reply.header.dataOffset, 28u);
    EXPECT_EQ(reply.header.options.ttl, 64u);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), reply.data.begin()));
    EXPECT_TRUE(buffer.guardIntact());
}

struct SizeCase
{
    std::size_t echoed;
    std::int32_t status;
    std::uint16_t dataSize;
};

class EchoedDataSize : public testing::TestWithParam<SizeCase>
{};

TEST_P(EchoedDataSize, NeverWritesPastTheRecord)
{
    GuardedReply buffer;
    const std::vector<std::byte> data(GetParam().echoed, std::byte{0x5a});
    const auto replies = net::writeEchoRecord(buffer.record(), answerWith(data));
    EXPECT_EQ(replies, GetParam().status == IpStatus::Success ? 1u : 0u);
    EXPECT_EQ(buffer.reply().header.status, static_cast<std::uint32_t>(GetParam().status));
    EXPECT_EQ(buffer.reply().header.dataSize, GetParam().dataSize);
    EXPECT_TRUE(buffer.guardIntact());
}

INSTANTIATE_TEST_SUITE_P(Sizes, EchoedDataSize,
                         testing::Values(SizeCase{0, IpStatus::Success, 0},
                                         SizeCase{250, IpStatus::Success, 250},
                                         SizeCase{251, IpStatus::BufTooSmall, 0},
                                         SizeCase{65000, IpStatus::BufTooSmall, 0}),
                         [](const auto &info) { return std::to_string(info.param.echoed); });

TEST(EchoReplyRecord, FailureLeavesZeroTimeAndSize)
{
    GuardedReply buffer;
    EXPECT_EQ(net::writeEchoRecord(buffer.record(), failure(IpStatus::ReqTimedOut)), 0u);
    const EchoReply reply = buffer.reply();
    EXPECT_EQ(reply.header.status, static_cast<std::uint32_t>(IpStatus::ReqTimedOut));
    EXPECT_EQ(reply.header.roundTripTime, 0u);
    EXPECT_EQ(reply.header.dataSize, 0u);
}

TEST(EchoReplyRecord, BufferShorterThanTheHeaderIsLeftAlone)
{
    std::array<std::byte, 27> tiny{};
    const auto data = testpackets::bytesOf("x");
    EXPECT_EQ(net::writeEchoRecord(tiny, answerWith(data)), 0u);
    EXPECT_EQ(net::writeEchoRecord(tiny, failure(IpStatus::ReqTimedOut)), 0u);
    EXPECT_TRUE(
        std::all_of(tiny.begin(), tiny.end(), [](std::byte b) { return b == std::byte{}; }));
}

// Whole milliseconds in the record, rounded as the platform does; never
// negative when the wall clock was set back during the probe.
struct RoundTripCase
{
    std::chrono::nanoseconds roundTrip;
    std::uint32_t milliseconds;
};

class RecordRoundTrip : public testing::TestWithParam<RoundTripCase>
{};

TEST_P(RecordRoundTrip, IsRoundedToWholeMilliseconds)
{
    GuardedReply buffer;
    net::writeEchoRecord(buffer.record(), answerWith({}, GetParam().roundTrip));
    EXPECT_EQ(buffer.reply().header.roundTripTime, GetParam().milliseconds);
}

using std::chrono::microseconds;
INSTANTIATE_TEST_SUITE_P(Rounding, RecordRoundTrip,
                         testing::Values(RoundTripCase{microseconds(1499), 1},
                                         RoundTripCase{microseconds(1500), 2},
                                         RoundTripCase{microseconds(87), 0},
                                         RoundTripCase{microseconds(-3000), 0},
                                         RoundTripCase{net::EchoOutcome::NoRoundTrip, 0}));

} // namespace
