#include "echowatch/store/stored_history.h"

namespace store {

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
