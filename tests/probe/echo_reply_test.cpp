#include "echowatch/net/icmp_reply_writer.h"
#include "echowatch/net/ip_status.h"
#include "echowatch/probe/echo_reply.h"
#include "support/echo_record.h"
#include "support/packet_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

namespace IpStatus = net::IpStatus;

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

net::icmp::Answer answerWith(std::span<const std::byte> data)
{
    return {IpStatus::Success, testpackets::address("127.0.0.1"), data, 64, 0};
}

TEST(EchoReplyRecord, ReceivesHeaderAndEchoedData)
{
    GuardedReply buffer;
    const auto data = testpackets::bytesOf(TestPayload);
    EXPECT_EQ(net::writeEchoAnswer(buffer.record(), answerWith(data), 12), IpStatus::Success);
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
    EXPECT_EQ(net::writeEchoAnswer(buffer.record(), answerWith(data), 3), GetParam().status);
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
    net::writeEchoFailure(buffer.record(), IpStatus::ReqTimedOut);
    const EchoReply reply = buffer.reply();
    EXPECT_EQ(reply.header.status, static_cast<std::uint32_t>(IpStatus::ReqTimedOut));
    EXPECT_EQ(reply.header.roundTripTime, 0u);
    EXPECT_EQ(reply.header.dataSize, 0u);
}

TEST(EchoReplyRecord, BufferShorterThanTheHeaderIsLeftAlone)
{
    std::array<std::byte, 27> tiny{};
    const auto data = testpackets::bytesOf("x");
    EXPECT_EQ(net::writeEchoAnswer(tiny, answerWith(data), 1), IpStatus::BufTooSmall);
    net::writeEchoFailure(tiny, IpStatus::ReqTimedOut);
    EXPECT_TRUE(
        std::all_of(tiny.begin(), tiny.end(), [](std::byte b) { return b == std::byte{}; }));
}

} // namespace
