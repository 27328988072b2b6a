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

// Where the fields of a request frame lie.
namespace At {
constexpr std::size_t Version = 4, Kind = 5, Ttl = 6, Reserved = 7, Tag = 8, Timeout = 16,
                      DataSize = 20;
} // namespace At

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

void setByte(Bytes &frame, std::size_t at, unsigned value)
{
    frame[at] = static_cast<std::byte>(value);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, HelperRequest,
    testing::Values(
        RequestCase{"Valid", [](Bytes &) {}, RequestVerdict::Valid},
        RequestCase{"HeaderCut", [](Bytes &f) { f.resize(23); }, RequestVerdict::Incomplete},
        RequestCase{"DataCut", [](Bytes &f) { f.pop_back(); }, RequestVerdict::Incomplete},
        RequestCase{"WrongMagic", [](Bytes &f) { setByte(f, 0, 'X'); }, RequestVerdict::Malformed},
        // A window of an earlier release: told apart from the first bytes on.
        RequestCase{"FirstVersion", [](Bytes &f) { setByte(f, At::Version, 1); },
                    RequestVerdict::OtherVersion},
        RequestCase{"ThirdVersion", [](Bytes &f) { setByte(f, At::Version, 3); },
                    RequestVerdict::OtherVersion},
        RequestCase{"ThirdVersionsFirstBytes",
                    [](Bytes &f) { setByte(f, At::Version, 3), f.resize(5); },
                    RequestVerdict::OtherVersion},
        RequestCase{"FifthVersion", [](Bytes &f) { setByte(f, At::Version, 5); },
                    RequestVerdict::OtherVersion},
        RequestCase{"DataOverLimit", [](Bytes &f) { put32(f, At::DataSize, 65508); },
                    RequestVerdict::Malformed},
        RequestCase{"DataAtLimit",
                    [](Bytes &f) { f.resize(24 + 65507), put32(f, At::DataSize, 65507); },
                    RequestVerdict::Valid},
        RequestCase{"TimeoutOfAnHour", [](Bytes &f) { put32(f, At::Timeout, 3'600'000); },
                    RequestVerdict::Refused},
        RequestCase{"TimeoutJustOver", [](Bytes &f) { put32(f, At::Timeout, 501); },
                    RequestVerdict::Refused},
        RequestCase{"NotAnEcho", [](Bytes &f) { setByte(f, At::Kind, 2); },
                    RequestVerdict::Refused},
        RequestCase{"ReservedSet", [](Bytes &f) { setByte(f, At::Reserved, 1); },
                    RequestVerdict::Refused},
        RequestCase{"LowestTtl", [](Bytes &f) { setByte(f, At::Ttl, 1); }, RequestVerdict::Valid},
        RequestCase{"HighestTtl", [](Bytes &f) { setByte(f, At::Ttl, 255); },
                    RequestVerdict::Valid},
        RequestCase{"AnyTag", [](Bytes &f) { put32(f, At::Tag, 0xffffffff); },
                    RequestVerdict::Valid}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(HelperRequest, CarriesItsTtlAndTag)
{
    for (const net::TimeToLive ttl : {net::SystemTtl, net::TimeToLive{1}, net::TimeToLive{255}}) {
        const Bytes frame =
            testpackets::helperRequest(testpackets::address("127.0.0.1"), ttl, 0x01020304u + ttl);
        const auto parsed = helper::parseRequest(frame);
        ASSERT_EQ(parsed.verdict, RequestVerdict::Valid);
        EXPECT_EQ(parsed.request.ttl, ttl);
        EXPECT_EQ(parsed.request.tag, 0x01020304u + ttl);
        EXPECT_EQ(parsed.request.destination, testpackets::address("127.0.0.1"));
    }
}

// Several requests written at once are read one after another.
TEST(HelperRequest, FramesFollowEachOther)
{
    Bytes stream;
    for (std::uint32_t tag = 1; tag <= 3; ++tag) {
        const Bytes frame = testpackets::helperRequest(testpackets::address("192.0.2.1"), 0, tag);
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    std::span<const std::byte> rest(stream);
    for (std::uint32_t tag = 1; tag <= 3; ++tag) {
        const auto parsed = helper::parseRequest(rest);
        ASSERT_EQ(parsed.verdict, RequestVerdict::Valid);
        EXPECT_EQ(parsed.request.tag, tag);
        rest = rest.subspan(parsed.frameSize);
    }
    EXPECT_TRUE(rest.empty());
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
    outcome.message = {3, 13};
    return outcome;
}

TEST(HelperAnswer, CarriesEveryTypedField)
{
    const Bytes data = testpackets::bytesOf(TestPayload);
    Bytes frame(helper::AnswerHeaderSize + data.size());
    ASSERT_EQ(helper::encodeAnswer(0xfeedbeef, answered(data), frame), frame.size());
    const auto parsed = helper::parseAnswer(frame, {data.size(), helper::MaxTimeout});
    ASSERT_EQ(parsed.verdict, helper::AnswerVerdict::Valid);
    const auto sent = answered(data);
    EXPECT_EQ(parsed.tag, 0xfeedbeefu);
    EXPECT_EQ(parsed.outcome.status, sent.status);
    EXPECT_EQ(parsed.outcome.roundTrip, sent.roundTrip);
    EXPECT_EQ(parsed.outcome.responder, sent.responder);
    EXPECT_EQ(parsed.outcome.ttl, sent.ttl);
    EXPECT_EQ(parsed.outcome.tos, sent.tos);
    EXPECT_EQ(parsed.outcome.origin, sent.origin);
    EXPECT_EQ(parsed.outcome.message, sent.message);
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
    helper::encodeAnswer(7, answered(data), frame);
    GetParam().change(frame);
    const helper::AnswerLimits limits{GetParam().dataLimit, 500ms};
    EXPECT_EQ(helper::parseAnswer(frame, limits).verdict, GetParam().verdict);
}

using helper::AnswerVerdict;

std::function<void(Bytes &)> roundTripOf(std::int64_t nanoseconds)
{
    return [nanoseconds](Bytes &f) {
        const auto bits = static_cast<std::uint64_t>(nanoseconds);
        put32(f, 16, static_cast<std::uint32_t>(bits >> 32));
        put32(f, 20, static_cast<std::uint32_t>(bits));
    };
}

INSTANTIATE_TEST_SUITE_P(
    Frames, HelperAnswerFrame,
    testing::Values(
        AnswerCase{"Valid", [](Bytes &) {}, 32, AnswerVerdict::Valid},
        AnswerCase{"DataLongerThanSent", [](Bytes &) {}, 31, AnswerVerdict::Malformed},
        AnswerCase{"HugeDataClaimed", [](Bytes &f) { put32(f, 32, 0xffffffff); }, 32,
                   AnswerVerdict::Malformed},
        AnswerCase{"DataCut", [](Bytes &f) { f.pop_back(); }, 32, AnswerVerdict::Incomplete},
        AnswerCase{"HeaderCut", [](Bytes &f) { f.resize(35); }, 32, AnswerVerdict::Incomplete},
        AnswerCase{"UnknownOrigin", [](Bytes &f) { setByte(f, 5, 3); }, 32,
                   AnswerVerdict::Malformed},
        AnswerCase{"ThirdVersion", [](Bytes &f) { setByte(f, 4, 3); }, 32,
                   AnswerVerdict::Malformed},
        AnswerCase{"ReservedSet", [](Bytes &f) { setByte(f, 31, 1); }, 32,
                   AnswerVerdict::Malformed},
        AnswerCase{"AnyIcmpTypeAndCode", [](Bytes &f) { setByte(f, 6, 255), setByte(f, 7, 255); },
                   32, AnswerVerdict::Valid},
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
