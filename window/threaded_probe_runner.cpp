#include "echowatch/window/threaded_probe_runner.h"

namespace window {

ProbeWorker::ProbeWorker(net::SocketsLibrary &sockets, net::IcmpEchoLibrary &icmp)
    : m_cycle(sockets, icmp)
{}

void ProbeWorker::run(const ProbeRequest &request)
{
    emit finished(m_cycle.run(request));
}

ThreadedProbeRunner::ThreadedProbeRunner(net::SocketsLibrary &sockets, net::IcmpEchoLibrary &icmp,
                                         QObject *parent)
    : ProbeRunner(parent), m_worker(new ProbeWorker(sockets, icmp))
{
    qRegisterMetaType<ProbeRequest>();
    qRegisterMetaType<ProbeResult>();
    m_thread.setObjectName(QStringLiteral("ProbeWorker"));
    m_worker->moveToThread(&m_thread);
    connect(this, &ThreadedProbeRunner::requested, m_worker, &ProbeWorker::run,
            Qt::QueuedConnection);
    connect(m_worker, &ProbeWorker::finished, this, &ProbeRunner::finished, Qt::QueuedConnection);
    m_thread.start();
}

ThreadedProbeRunner::~ThreadedProbeRunner()
{
    m_thread.quit();
    m_thread.wait();
    // The thread has ended: nothing runs the worker any more.
    delete m_worker;
}

void ThreadedProbeRunner::start(const ProbeRequest &request)
{
    emit requested(request);
}

} // namespace window
