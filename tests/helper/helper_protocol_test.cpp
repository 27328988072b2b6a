#include "echowatch/helper/probe_helper_protocol.h"
#include "support/echo_record.h"
#include "support/packet_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <vector>

namespace {

using namespace std::chrono_literals;
using helper::RequestVerdict;
using testpackets::Bytes;
using testpackets::put32;

struct RequestCase
{
    const char *name;
    std::function<void(Bytes &)> change;
    RequestVerdict verdict;
};

class HelperRequest : public testing::TestWithParam<RequestCase>
{};

TEST_P(HelperRequest, IsJudgedBeforeUse)
{
    Bytes frame = testpackets::helperRequest(testpackets::address("127.0.0.1"));
    GetParam().change(frame);
    EXPECT_EQ(helper::parseRequest(frame).verdict, GetParam().verdict);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, HelperRequest,
    testing::Values(
        RequestCase{"Valid", [](Bytes &) {}, RequestVerdict::Valid},
        RequestCase{"HeaderCut", [](Bytes &f) { f.resize(19); }, RequestVerdict::Incomplete},
        RequestCase{"DataCut", [](Bytes &f) { f.pop_back(); }, RequestVerdict::Incomplete},
        RequestCase{"WrongMagic", [](Bytes &f) { f[0] = std::byte{'X'}; },
                    RequestVerdict::Malformed},
        RequestCase{"FirstVersion", [](Bytes &f) { f[4] = std::byte{1}; },
                    RequestVerdict::Malformed},
        RequestCase{"DataOverLimit", [](Bytes &f) { put32(f, 16, 65508); },
                    RequestVerdict::Malformed},
        RequestCase{"DataAtLimit", [](Bytes &f) { f.resize(20 + 65507), put32(f, 16, 65507); },
                    RequestVerdict::Valid},
        RequestCase{"TimeoutOfAnHour", [](Bytes &f) { put32(f, 12, 3'600'000); },
                    RequestVerdict::Refused},
        RequestCase{"TimeoutJustOver", [](Bytes &f) { put32(f, 12, 501); },
                    RequestVerdict::Refused},
        RequestCase{"NotAnEcho", [](Bytes &f) { f[5] = std::byte{2}; }, RequestVerdict::Refused},
        RequestCase{"ReservedSet", [](Bytes &f) { f[7] = std::byte{1}; }, RequestVerdict::Refused},
        RequestCase{"SecondVersion", [](Bytes &f) { f[4] = std::byte{2}; },
                    RequestVerdict::Malformed},
        RequestCase{"LowestTtl", [](Bytes &f) { f[6] = std::byte{1}; }, RequestVerdict::Valid},
        RequestCase{"HighestTtl", [](Bytes &f) { f[6] = std::byte{255}; }, RequestVerdict::Valid}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(HelperRequest, CarriesItsTtl)
{
    for (const net::TimeToLive ttl : {net::SystemTtl, net::TimeToLive{1}, net::TimeToLive{255}}) {
        const Bytes frame = testpackets::helperRequest(testpackets::address("127.0.0.1"), ttl);
        const auto parsed = helper::parseRequest(frame);
        ASSERT_EQ(parsed.verdict, RequestVerdict::Valid);
        EXPECT_EQ(parsed.request.ttl, ttl);
    }
}

// The window trusts the helper no further than the request it sent: the
// typed fields travel as they were, and nothing else is taken.
net::EchoOutcome answered(std::span<const std::byte> data)
{
    net::EchoOutcome outcome;
    outcome.status = -2;
    outcome.roundTrip = std::chrono::nanoseconds{123'456'789};
    outcome.responder = testpackets::address("198.51.100.7");
    outcome.ttl = 63;
    outcome.tos = 0x10;
    outcome.data = data;
    outcome.origin = net::FailureOrigin::IcmpMessage;
    return outcome;
}

TEST(HelperAnswer, CarriesEveryTypedField)
{
    const Bytes data = testpackets::bytesOf(TestPayload);
    Bytes frame(helper::AnswerHeaderSize + data.size());
    ASSERT_EQ(helper::encodeAnswer(answered(data), frame), frame.size());
    const auto parsed = helper::parseAnswer(frame, {data.size(), helper::MaxTimeout});
    ASSERT_EQ(parsed.verdict, helper::AnswerVerdict::Valid);
    const auto sent = answered(data);
    EXPECT_EQ(parsed.outcome.status, sent.status);
    EXPECT_EQ(parsed.outcome.roundTrip, sent.roundTrip);
    EXPECT_EQ(parsed.outcome.responder, sent.responder);
    EXPECT_EQ(parsed.outcome.ttl, sent.ttl);
    EXPECT_EQ(parsed.outcome.tos, sent.tos);
    EXPECT_EQ(parsed.outcome.origin, sent.origin);
    EXPECT_TRUE(std::ranges::equal(parsed.outcome.data, data));
}

struct AnswerCase
{
    const char *name;
    std::function<void(Bytes &)> change;
    std::size_t dataLimit;
    helper::AnswerVerdict verdict;
};

class HelperAnswerFrame : public testing::TestWithParam<AnswerCase>
{};

TEST_P(HelperAnswerFrame, IsJudgedBeforeUse)
{
    const Bytes data(32);
    Bytes frame(helper::AnswerHeaderSize + data.size());
    helper::encodeAnswer(answered(data), frame);
    GetParam().change(frame);
    const helper::AnswerLimits limits{GetParam().dataLimit, 500ms};
    EXPECT_EQ(helper::parseAnswer(frame, limits).verdict, GetParam().verdict);
}

using helper::AnswerVerdict;

std::function<void(Bytes &)> roundTripOf(std::int64_t nanoseconds)
{
    return [nanoseconds](Bytes &f) {
        const auto bits = static_cast<std::uint64_t>(nanoseconds);
        put32(f, 12, static_cast<std::uint32_t>(bits >> 32));
        put32(f, 16, static_cast<std::uint32_t>(bits));
    };
}

INSTANTIATE_TEST_SUITE_P(
    Frames, HelperAnswerFrame,
    testing::Values(
        AnswerCase{"Valid", [](Bytes &) {}, 32, AnswerVerdict::Valid},
        AnswerCase{"DataLongerThanSent", [](Bytes &) {}, 31, AnswerVerdict::Malformed},
        AnswerCase{"HugeDataClaimed", [](Bytes &f) { put32(f, 28, 0xffffffff); }, 32,
                   AnswerVerdict::Malformed},
        AnswerCase{"DataCut", [](Bytes &f) { f.pop_back(); }, 32, AnswerVerdict::Incomplete},
        AnswerCase{"HeaderCut", [](Bytes &f) { f.resize(31); }, 32, AnswerVerdict::Incomplete},
        AnswerCase{"UnknownOrigin", [](Bytes &f) { f[5] = std::byte{3}; }, 32,
                   AnswerVerdict::Malformed},
        AnswerCase{"FirstVersion", [](Bytes &f) { f[4] = std::byte{1}; }, 32,
                   AnswerVerdict::Malformed},
        AnswerCase{"ReservedSet", [](Bytes &f) { f[27] = std::byte{1}; }, 32,
                   AnswerVerdict::Malformed},
        AnswerCase{"SecondVersion", [](Bytes &f) { f[4] = std::byte{2}; }, 32,
                   AnswerVerdict::Malformed},
        AnswerCase{"NoRoundTrip", roundTripOf(-1), 32, AnswerVerdict::Valid},
        AnswerCase{"RoundTripZero", roundTripOf(0), 32, AnswerVerdict::Valid},
        AnswerCase{"RoundTripAtTheTimeout", roundTripOf(500'000'000), 32, AnswerVerdict::Valid},
        AnswerCase{"RoundTripPastTheTimeout", roundTripOf(500'000'001), 32,
                   AnswerVerdict::Malformed},
        AnswerCase{"RoundTripNegative", roundTripOf(-2), 32, AnswerVerdict::Malformed},
        AnswerCase{"RoundTripMostNegative", roundTripOf(INT64_MIN), 32, AnswerVerdict::Malformed},
        AnswerCase{"RoundTripMostPositive", roundTripOf(INT64_MAX), 32, AnswerVerdict::Malformed}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
