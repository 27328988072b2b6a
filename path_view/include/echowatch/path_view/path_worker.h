#pragma once

#include "echowatch/net/echo_outcome.h"
#include "echowatch/net/icmp_echo_library.h"
#include "echowatch/path/hop_stats.h"
#include "echowatch/route/route_facts.h"

#include <QMetaType>
#include <QObject>
#include <QThread>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>

Q_DECLARE_METATYPE(path::PathTable)

namespace path_view {

// Makes the echo service a worker probes through; called on the worker's
// thread, which alone then uses what it made.
using EchoLibraryFactory = std::function<std::unique_ptr<net::IcmpEchoLibrary>()>;

// The kernel's way to a host (route::lookUpRoute, or a test's), asked on
// the worker's thread; empty: the kernel is not asked.
using RouteLookup = std::function<route::RouteFacts(std::uint32_t destination)>;

// What a trace at the down found, for its outage's class to be judged
// from: the hops, where the host was expected, the kernel's way to the
// host and what the direct echo to that way's gateway came to.
struct TraceFindings
{
    path::PathTable trace;
    int hostHop = 0;
    route::RouteFacts route;
    std::optional<net::EchoOutcome> gatewayEcho;
};

// Runs the hop prober's rounds on the thread it was moved to, each table
// sent back by a queued signal, until its stop is asked for: a stop wakes
// its wait between rounds at once, and ends a round after the request
// under way.
class PathWorker : public QObject
{
    Q_OBJECT

public:
    PathWorker(EchoLibraryFactory factory, std::stop_token stop, RouteLookup routes = {});

    void watch(quint32 destination);
    // One trace of up to three requests per hop, with the kernel asked for
    // its way to the host first and a direct echo to that way's gateway
    // beside the trace; hostHop: where the host was last known to be, 0
    // when not known. Whatever comes of it is told with the request it
    // answers: traceDone, or traceFailed (with the kernel's way alone) when
    // no echo service could be opened or the trace was stopped.
    void trace(quint64 request, quint32 destination, int hostHop);

signals:
    void roundDone(const path::PathTable &table);
    void traceDone(quint64 request, const path_view::TraceFindings &findings);
    void traceFailed(quint64 request, int status, const path_view::TraceFindings &findings);
    // No echo service could be opened: the status it failed with.
    void unavailable(int status);

private:
    net::IcmpEchoHandle *handle();

    EchoLibraryFactory m_factory;
    RouteLookup m_routes;
    std::unique_ptr<net::IcmpEchoLibrary> m_library;
    net::IcmpHandle m_handle;
    // What the last opening of an echo service failed with.
    int m_openFailure = 0;
    std::stop_token m_stop;
};

// A worker on a thread of its own, which owner owns; the worker is deleted
// once the thread has finished. The owner stops it by its stop source, then
// quits and waits for the thread. Both null when the process has no
// descriptor to spare for a thread.
struct WorkerThread
{
    QThread *thread;
    PathWorker *worker;
};
WorkerThread startWorker(QObject &owner, EchoLibraryFactory factory, std::stop_token stop,
                         RouteLookup routes = {});

} // namespace path_view

Q_DECLARE_METATYPE(path_view::TraceFindings)
