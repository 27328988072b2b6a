#pragma once

#include "responder_request.h"

#include <chrono>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

// How the lab's responder treats each echo request it receives, as told on
// its command line:
//
//   answer MS [MS...]             the right reply, MS late (one per request,
//                                 the last repeating)
//   error TYPE CODE [answer|answer-at-once|answer-first]
//                                 an ICMP error quoting the request, and
//                                 with "answer" the right reply 20 ms later;
//                                 "answer-at-once" sends the reply right
//                                 behind the error, "answer-first" right
//                                 ahead of it
//   broken KIND answer|silent     a broken or spoofed reply at once, then the
//                                 right one 20 ms later, or nothing more.
//                                 KIND: foreign-identifier foreign-sequence
//                                 foreign-source truncated oversized
//                                 foreign-quote
//   flood answer|silent           thousands of unrelated ICMP packets per
//                                 second for 600 ms, and the right reply at
//                                 100 ms, or none
//   flood-foreign PPS             PPS packets per second for 600 ms, none
//                                 for the requester: replies and errors
//                                 about requests of other identifiers
namespace lab {

// After a broken reply or an error that is no outcome.
inline constexpr std::chrono::milliseconds RightAnswerAfterBroken{20};
inline constexpr std::chrono::milliseconds RightAnswerDuringFlood{100};
// More than the 250 bytes the probe's reply record holds.
inline constexpr std::size_t OversizedDataSize = 300;

enum class Mode
{
    Answer,
    Error,
    Broken,
    Flood,
    ForeignFlood,
};

enum class Broken
{
    ForeignIdentifier,
    ForeignSequence,
    ForeignSource,
    Truncated,
    Oversized,
    ForeignQuote,
};

enum class Then
{
    Answer,
    AnswerAtOnce,
    AnswerFirst,
    Silence,
};

// One packet to send, some time after the request came in.
struct Scheduled
{
    std::chrono::milliseconds after;
    testpackets::Bytes packet;
};

class ResponderPlan
{
public:
    static std::optional<ResponderPlan> parse(std::span<const std::string_view> arguments);

    // What to send for the next request, in the order to send it.
    std::vector<Scheduled> respond(const EchoRequest &request);

private:
    ResponderPlan() = default;

    // The given packet at once, then the right reply if the plan says so.
    std::vector<Scheduled> firstThenAnswer(const EchoRequest &request,
                                           testpackets::Bytes first) const;
    std::vector<Scheduled> respondFlood(const EchoRequest &request) const;
    std::vector<Scheduled> respondForeignFlood(const EchoRequest &request) const;

    Mode m_mode = Mode::Answer;
    std::vector<std::chrono::milliseconds> m_delays;
    std::uint8_t m_type = 0;
    std::uint8_t m_code = 0;
    Broken m_broken = Broken::ForeignIdentifier;
    Then m_then = Then::Answer;
    int m_packetsPerSecond = 0;
    std::size_t m_requestsSeen = 0;
};

} // namespace lab
