// Every ICMP error that can end a path, as a hop's row marks it and as the
// verdict tells it: one row per code.
#include "echowatch/path/message_words.h"

#include <gtest/gtest.h>

namespace {

using path::Sender;

struct WordsCase
{
    icmp::MessageKind kind;
    const char *mark;
    const char *name;
    const char *routerDeed;
    const char *hostDeed;
};

class MessageWords : public testing::TestWithParam<WordsCase>
{};

TEST_P(MessageWords, MarkAndTellTheMessage)
{
    const auto &words = GetParam();
    EXPECT_EQ(path::errorMark(words.kind), words.mark);
    EXPECT_EQ(path::errorName(words.kind), words.name);
    EXPECT_EQ(path::errorDeed(words.kind, Sender::Router), words.routerDeed);
    EXPECT_EQ(path::errorDeed(words.kind, Sender::Host), words.hostDeed);
}

constexpr const char *Rejects = "rejects the request";
constexpr const char *Refuses = "refuses the request";

INSTANTIATE_TEST_SUITE_P(
    EveryCode, MessageWords,
    testing::Values(
        WordsCase{{3, 0}, "!N", "network unreachable", "cannot reach the host's network", Rejects},
        WordsCase{{3, 1}, "!H", "host unreachable", "cannot reach the host", Rejects},
        WordsCase{{3, 2}, "!P", "protocol unreachable", "cannot pass ICMP on",
                  "does not take ICMP"},
        WordsCase{{3, 3}, "!<3>", "port unreachable", Rejects, Rejects},
        WordsCase{{3, 4}, "!F", "fragmentation needed", "cannot pass the request on unfragmented",
                  "cannot take the request unfragmented"},
        WordsCase{{3, 5}, "!S", "source route failed", "cannot follow the source route", Rejects},
        WordsCase{{3, 6}, "!U", "network unknown", "does not know the host's network", Rejects},
        WordsCase{{3, 7}, "!W", "host unknown", "does not know the host", Rejects},
        WordsCase{{3, 8}, "!I", "source host isolated", "isolates this computer", Rejects},
        WordsCase{{3, 9}, "!A", "network administratively prohibited",
                  "refuses traffic to the host's network", Refuses},
        WordsCase{{3, 10}, "!Z", "host administratively prohibited", "refuses traffic to the host",
                  Refuses},
        WordsCase{{3, 11}, "!Q", "network unreachable for the type of service",
                  "cannot reach the host's network for the request's type of service", Rejects},
        WordsCase{{3, 12}, "!T", "host unreachable for the type of service",
                  "cannot reach the host for the request's type of service", Rejects},
        WordsCase{{3, 13}, "!X", "administratively prohibited", Refuses, Refuses},
        WordsCase{{3, 14}, "!V", "host precedence violation", "refuses the request's precedence",
                  "refuses the request's precedence"},
        WordsCase{{3, 15}, "!C", "precedence cutoff", "refuses the request's precedence",
                  "refuses the request's precedence"},
        WordsCase{{3, 16}, "!<16>", "destination unreachable, code 16",
                  "cannot deliver the request", Rejects},
        WordsCase{{11, 1}, "!<11/1>", "fragment reassembly time exceeded",
                  "gave up reassembling the request", "gave up reassembling the request"},
        WordsCase{{12, 0}, "!<12/0>", "parameter problem", "rejects the request's header",
                  "rejects the request's header"},
        WordsCase{{4, 0}, "!<4/0>", "source quench", "asks this computer to slow down",
                  "asks this computer to slow down"},
        WordsCase{{40, 2}, "!<40/2>", "ICMP error 40/2", Rejects, Rejects}),
    [](const auto &info) {
        return "type" + std::to_string(info.param.kind.type) + "code" +
               std::to_string(info.param.kind.code);
    });

} // namespace
