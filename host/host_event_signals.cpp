#include "echowatch/host/host_event_signals.h"

namespace host {

HostEventSignals::HostEventSignals(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<WatchStarted>();
    qRegisterMetaType<ProbeTaken>();
    qRegisterMetaType<HostDown>();
    qRegisterMetaType<HostUp>();
    qRegisterMetaType<WatchEnded>();
    qRegisterMetaType<VerdictFiled>();
    qRegisterMetaType<SlowStarted>();
    qRegisterMetaType<SlowEnded>();
    qRegisterMetaType<FlappingStarted>();
    qRegisterMetaType<FlappingSettled>();
}

} // namespace host
