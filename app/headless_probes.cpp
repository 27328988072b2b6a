#include "echowatch/app/headless_probes.h"

namespace app {

HeadlessProbes::HeadlessProbes(fleet::EchoLibraryFactory factory,
                               const fleet::ProberClock &clock,
                               std::chrono::milliseconds interval, QObject *parent)
    : QObject(parent),
      m_probes(std::move(factory), clock, interval,
               [this](std::vector<fleet::FleetProbe> &&probes) {
                   // From a shard's thread; what is queued when this object
                   // goes is dropped with it.
                   QMetaObject::invokeMethod(
                       this,
                       [this, probes = std::move(probes)] {
                           if (!m_stopped)
                               emit probed(probes);
                       },
                       Qt::QueuedConnection);
               })
{
    setObjectName(QStringLiteral("HeadlessProbes"));
}

HeadlessProbes::~HeadlessProbes()
{
    stop();
}

void HeadlessProbes::stop()
{
    m_stopped = true;
    m_probes.stop();
}

} // namespace app
