#include "echowatch/path_view/path_worker.h"

#include "echowatch/path/hop_prober.h"
#include "echowatch/path/pace_clock.h"

namespace path_view {

PathWorker::PathWorker(EchoLibraryFactory factory, std::stop_token stop)
    : m_factory(std::move(factory)), m_stop(std::move(stop))
{}

void PathWorker::watch(quint32 destination)
{
    const auto library = m_factory();
    auto opening = library->IcmpCreateFile();
    if (!opening.handle) {
        emit unavailable(opening.failureStatus);
        return;
    }
    path::SteadyPaceClock clock;
    path::HopProber prober(*opening.handle, clock);
    while (prober.runRound(destination, m_stop))
        emit roundDone(prober.table());
}

} // namespace path_view
