#include "echowatch/store/stored_history.h"

namespace store {

Milliseconds minuteOf(Milliseconds time) noexcept
{
    const Milliseconds remainder = time % history::MillisecondsPerMinute;
    return time - (remainder < 0 ? remainder + history::MillisecondsPerMinute : remainder);
}

void StoredMinute::add(const history::ProbeSample &sample) noexcept
{
    statistics.add(sample);
    switch (history::kindOf(sample.status())) {
    case history::ProbeKind::Timeout:
        ++timeouts;
        break;
    case history::ProbeKind::Unreachable:
        ++unreachables;
        break;
    case history::ProbeKind::OtherFailure:
        ++otherFailures;
        break;
    case history::ProbeKind::Answered:
    case history::ProbeKind::NotSent:
        break;
    }
}

namespace {

struct ReasonName
{
    WatchEndReason why;
    const char *text;
};

constexpr ReasonName ReasonNames[] = {
    {WatchEndReason::Stopped, "stopped"},
    {WatchEndReason::AddressChanged, "address changed"},
    {WatchEndReason::Closed, "closed"},
    {WatchEndReason::Sleep, "sleep"},
};

constexpr const char *AnswerText = "answer";
constexpr const char *NotWatchedText = "not watched";

} // namespace

const char *reasonText(WatchEndReason why) noexcept
{
    for (const ReasonName &name : ReasonNames) {
        if (name.why == why)
            return name.text;
    }
    return nullptr;
}

WatchEndReason reasonFromText(const std::optional<std::string> &text) noexcept
{
    for (const ReasonName &name : ReasonNames) {
        if (text == name.text)
            return name.why;
    }
    return WatchEndReason::Unknown;
}

const char *outageEndText(OutageEnd end) noexcept
{
    switch (end) {
    case OutageEnd::Answer:
        return AnswerText;
    case OutageEnd::NotWatched:
        return NotWatchedText;
    case OutageEnd::None:
        break;
    }
    return nullptr;
}

OutageEnd outageEndFromText(const std::optional<std::string> &text) noexcept
{
    if (text == AnswerText)
        return OutageEnd::Answer;
    if (text == NotWatchedText)
        return OutageEnd::NotWatched;
    return OutageEnd::None;
}

} // namespace store
