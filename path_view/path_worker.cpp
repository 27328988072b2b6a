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

PathWorker::PathWorker(EchoLibraryFactory factory, std::stop_token stop)
    : m_factory(std::move(factory)), m_stop(std::move(stop))
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

void PathWorker::trace(quint64 request, quint32 destination, int hostHop)
{
    auto *echo = handle();
    if (echo == nullptr) {
        emit traceFailed(request, m_openFailure);
        return;
    }
    path::SteadyPaceClock clock;
    path::HopProber prober(*echo, clock);
    if (prober.runTrace(destination, ProbesPerHop, hostHop, m_stop))
        emit traceDone(request, prober.table(), hostHop);
    else
        emit traceFailed(request, 0);
}

WorkerThread startWorker(QObject &owner, EchoLibraryFactory factory, std::stop_token stop)
{
    qRegisterMetaType<path::PathTable>();
    if (!net::descriptorsToSpare(ThreadDescriptors))
        return {nullptr, nullptr};
    auto *thread = new QThread(&owner);
    auto *worker = new PathWorker(std::move(factory), std::move(stop));
    worker->moveToThread(thread);
    QObject::connect(thread, &QThread::finished, worker, &QObject::deleteLater);
    thread->start();
    return {thread, worker};
}

} // namespace path_view
