#pragma once

#include "echowatch/window/probe_runner.h"

#include <QThread>

namespace window {

// Owns the cycle on the worker thread: the sockets library and the echo
// service (its kept sockets, its helper) are used there alone.
class ProbeWorker final : public QObject
{
    Q_OBJECT

public:
    ProbeWorker(net::SocketsLibrary &sockets, net::IcmpEchoLibrary &icmp);

    void run(const window::ProbeRequest &request);

signals:
    void finished(const window::ProbeResult &result);

private:
    ProbeCycle m_cycle;
};

// The window's probes on a thread of their own, so that the window's thread
// never waits for an answer: each request goes to the worker by a queued
// signal, each result comes back by one. The services must outlive the
// runner; destroying it waits for the probe in flight (at most the helper's
// bound) and ends the thread.
class ThreadedProbeRunner final : public ProbeRunner
{
    Q_OBJECT

public:
    ThreadedProbeRunner(net::SocketsLibrary &sockets, net::IcmpEchoLibrary &icmp,
                        QObject *parent = nullptr);
    ~ThreadedProbeRunner() override;

    void start(const ProbeRequest &request) override;

signals:
    void requested(const window::ProbeRequest &request);

private:
    QThread m_thread;
    ProbeWorker *m_worker;
};

} // namespace window
