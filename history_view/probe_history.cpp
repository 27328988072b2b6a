#include "echowatch/history_view/probe_history.h"

#include "echowatch/probe/probe_details.h"
#include "echowatch/window/form1.h"

#include <chrono>

namespace history_view {

ProbeHistory::ProbeHistory(Form1 &window) : QObject(&window)
{
    setObjectName(QStringLiteral("ProbeHistory"));
    connect(&window, &Form1::probeShown, this, &ProbeHistory::recordProbe);
}

void ProbeHistory::recordProbe(const probe::ProbeEvent &event)
{
    using namespace std::chrono;
    const auto sentAt = duration_cast<milliseconds>(event.sentAt.time_since_epoch()).count();
    m_record.record(history::ProbeSample(sentAt, event.status, event.details.roundTripMicroseconds,
                                         event.replySize));
    emit recorded();
}

} // namespace history_view
