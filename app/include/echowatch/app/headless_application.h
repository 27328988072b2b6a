#pragma once

#include "echowatch/app/command_line.h"
#include "echowatch/app/records_setup.h"
#include "echowatch/fleet/fleet_probes.h"
#include "echowatch/fleet/host_set.h"
#include "echowatch/fleet/hosts_reading.h"
#include "echowatch/path_view/path_worker.h"

#include <QObject>

namespace fleet {
class ProberClock;
} // namespace fleet
namespace history_view {
class HistoryRecorder;
} // namespace history_view
namespace path_view {
class TraceOnDown;
} // namespace path_view

namespace app {

class HeadlessProbes;
class HeadlessWatch;
class HostsReader;

// What the headless prober runs on: the system's own, or a test's fakes.
// Each must outlive the application.
struct HeadlessServices
{
    // The echo service of each shard of probes, made on the shard's thread.
    fleet::EchoLibraryFactory probeEchoLibrary;
    // The echo service of the traces at the down, made on their thread.
    path_view::EchoLibraryFactory pathEchoLibrary;
    const fleet::ProberClock &clock;
    fleet::NameResolver resolve;
    // Whether SIGTERM, SIGINT and SIGHUP are heeded.
    bool handleSignals = true;
    // The kernel's way to a host, read at each down to class its outage;
    // none: classed by the trace alone.
    path_view::RouteLookup routes = {};
};

// The program without a window (--headless): many hosts, each watched by a
// host monitor of its own (HeadlessWatch), probed on threads of their own
// (HeadlessProbes), and the features the window has without one (the live
// log, the metrics, the commands, the history file, the trace at the down)
// fed by the same host events. No display, no session bus. SIGHUP reads
// the hosts again (hosts added are watched from then, hosts gone end
// their watches) and lets go of the live log; SIGTERM and SIGINT end every
// watch and the event loop with status 0. A startup error (hosts that
// cannot be read or found, a port that cannot be served) ends it with
// status 2 after one line on standard error.
class HeadlessApplication : public QObject
{
    Q_OBJECT

public:
    static constexpr int StartFailure = 2;

    HeadlessApplication(HeadlessServices services, LaunchOptions options);
    ~HeadlessApplication() override;

    // Reads the hosts, then watches them once the metrics (if asked for)
    // are served.
    void start();
    void reload();
    void shutDown();

    HeadlessWatch &watch() const noexcept { return *m_watch; }
    MetricsServer *metrics() const noexcept { return m_records.metrics; }
    const fleet::HostSet &hosts() const noexcept { return m_hosts; }

signals:
    // The hosts read at the start, or again, are watched from now on.
    void hostsApplied();

private:
    void buildFeatures();
    void listenForSignals();
    void readHosts(bool starting);
    void hostsRead(const fleet::HostsReading &reading, bool starting);
    std::vector<fleet::WatchedHost> keepUnresolved(const fleet::HostsReading &reading) const;
    void beginOnceReady();
    void applyHosts(const std::vector<fleet::WatchedHost> &wanted);
    void takeProbes(const std::vector<fleet::FleetProbe> &probes);
    void failStart(const QString &line);
    void end(int status, const QString &line);
    std::int64_t now() const;

    HeadlessServices m_services;
    const LaunchOptions m_options;
    const LaunchOptions::Headless m_headless;
    HeadlessWatch *m_watch;
    HostsReader *m_reader;
    AttachedRecords m_records;
    history_view::HistoryRecorder *m_history = nullptr;
    path_view::TraceOnDown *m_traceOnDown = nullptr;
    HeadlessProbes *m_probes = nullptr;
    fleet::HostSet m_hosts;
    // The first reading, held until the metrics are served.
    std::optional<std::vector<fleet::WatchedHost>> m_firstHosts;
    bool m_metricsReady = false;
    bool m_started = false;
    bool m_ending = false;
};

// The headless prober over the system's services: its own application
// object (no window toolkit), the loop run until a termination signal.
// The exit status.
int runHeadless(int argc, char *argv[], const LaunchOptions &options);

} // namespace app
