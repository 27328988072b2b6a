#include "echowatch/path_view/path_worker.h"

#include "echowatch/net/descriptor_room.h"
#include "echowatch/path/hop_prober.h"
#include "echowatch/path/pace_clock.h"

namespace path_view {
namespace {

// As the system's traceroute asks each hop.
constexpr int ProbesPerHop = 3;
// A thread's event loop takes a descriptor to be woken by, and the echo
// service its socket; GLib ends the whole program when the first is
// refused, so a thread is started only where there is room for both.
constexpr int ThreadDescriptors = 4;

} // namespace

PathWorker::PathWorker(EchoLibraryFactory factory, std::stop_token stop, RouteLookup routes)
    : m_factory(std::move(factory)), m_routes(std::move(routes)), m_stop(std::move(stop))
{}

// Made on the worker's thread at its first use, and kept for the next.
net::IcmpEchoHandle *PathWorker::handle()
{
    if (!m_library)
        m_library = m_factory();
    if (!m_handle) {
        auto opening = m_library->IcmpCreateFile();
        if (!opening.handle) {
            m_openFailure = opening.failureStatus;
            emit unavailable(opening.failureStatus);
            return nullptr;
        }
        m_handle = std::move(opening.handle);
    }
    return m_handle.get();
}

void PathWorker::watch(quint32 destination)
{
    auto *echo = handle();
    if (echo == nullptr)
        return;
    path::SteadyPaceClock clock;
    path::HopProber prober(*echo, clock);
    while (prober.runRound(destination, m_stop))
        emit roundDone(prober.table());
}

// The kernel answers within microseconds: asked before the trace, its
// gateway is known when the trace's first requests go.
void PathWorker::trace(quint64 request, quint32 destination, int hostHop)
{
    TraceFindings findings;
    findings.hostHop = hostHop;
    if (m_routes)
        findings.route = m_routes(destination);
    auto *echo = handle();
    if (echo == nullptr) {
        emit traceFailed(request, m_openFailure, findings);
        return;
    }
    path::SteadyPaceClock clock;
    path::HopProber prober(*echo, clock);
    if (findings.route.kind == route::RouteKind::Gateway && findings.route.gateway != 0)
        prober.askBeside(findings.route.gateway);
    if (!prober.runTrace(destination, ProbesPerHop, hostHop, m_stop)) {
        emit traceFailed(request, 0, findings);
        return;
    }
    findings.trace = prober.table();
    findings.gatewayEcho = prober.besideOutcome();
    emit traceDone(request, findings);
}

WorkerThread startWorker(QObject &owner, EchoLibraryFactory factory, std::stop_token stop,
                         RouteLookup routes)
{
    qRegisterMetaType<path::PathTable>();
    qRegisterMetaType<TraceFindings>();
    if (!net::descriptorsToSpare(ThreadDescriptors))
        return {nullptr, nullptr};
    auto *thread = new QThread(&owner);
    auto *worker = new PathWorker(std::move(factory), std::move(stop), std::move(routes));
    worker->moveToThread(thread);
    QObject::connect(thread, &QThread::finished, worker, &QObject::deleteLater);
    thread->start();
    return {thread, worker};
}

} // namespace path_view
