#include "echowatch/net/probe_helper_protocol.h"
#include "support/packet_builder.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

namespace helper = net::helper;
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
        RequestCase{"HeaderCut", [](Bytes &f) { f.resize(23); }, RequestVerdict::Incomplete},
        RequestCase{"DataCut", [](Bytes &f) { f.pop_back(); }, RequestVerdict::Incomplete},
        RequestCase{"WrongMagic", [](Bytes &f) { f[0] = std::byte{'X'}; },
                    RequestVerdict::Malformed},
        RequestCase{"WrongVersion", [](Bytes &f) { f[4] = std::byte{2}; },
                    RequestVerdict::Malformed},
        RequestCase{"DataOverLimit", [](Bytes &f) { put32(f, 20, 65508); },
                    RequestVerdict::Malformed},
        RequestCase{"DataAtLimit", [](Bytes &f) { f.resize(24 + 65507), put32(f, 20, 65507); },
                    RequestVerdict::Valid},
        RequestCase{"TimeoutOfAnHour", [](Bytes &f) { put32(f, 12, 3'600'000); },
                    RequestVerdict::Refused},
        RequestCase{"TimeoutJustOver", [](Bytes &f) { put32(f, 12, 501); },
                    RequestVerdict::Refused},
        RequestCase{"ReplyBelowHeader", [](Bytes &f) { put32(f, 16, 27); },
                    RequestVerdict::Refused},
        RequestCase{"ReplyOverLimit", [](Bytes &f) { put32(f, 16, 65536); },
                    RequestVerdict::Refused},
        RequestCase{"NotAnEcho", [](Bytes &f) { f[5] = std::byte{2}; }, RequestVerdict::Refused},
        RequestCase{"ReservedSet", [](Bytes &f) { f[7] = std::byte{1}; }, RequestVerdict::Refused}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(HelperAnswer, RecordLongerThanAskedForIsMalformed)
{
    const Bytes record(279);
    Bytes frame(helper::AnswerHeaderSize + record.size());
    helper::encodeAnswer({helper::AnswerKind::Record, 1, 0, record}, frame);
    EXPECT_EQ(helper::parseAnswer(frame, 279).verdict, helper::AnswerVerdict::Valid);
    EXPECT_EQ(helper::parseAnswer(frame, 278).verdict, helper::AnswerVerdict::Malformed);
    EXPECT_EQ(helper::parseAnswer(std::span(frame).first(30), 279).verdict,
              helper::AnswerVerdict::Incomplete);
}

} // namespace
