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

} // namespace store
