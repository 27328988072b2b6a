#include "echowatch/app/headless_application.h"

#include "echowatch/app/command_feed.h"
#include "echowatch/app/headless_probes.h"
#include "echowatch/app/headless_watch.h"
#include "echowatch/app/hosts_reader.h"
#include "echowatch/app/live_log_writer.h"
#include "echowatch/app/metrics_server.h"
#include "echowatch/app/termination_signals.h"
#include "echowatch/fleet/prober_clock.h"
#include "echowatch/history_view/history_recorder.h"
#include "echowatch/net/ipv4_text.h"
#include "echowatch/path_view/trace_on_down.h"
#include "echowatch/platform/translation.h"

#include <QCoreApplication>

#include <algorithm>
#include <csignal>
#include <cstdio>

namespace app {

namespace {

constexpr platform::Translation tr{"Headless"};

void say(const QString &text)
{
    const QByteArray line =
        (QCoreApplication::applicationName() + QStringLiteral(": ") + text + QLatin1Char('\n'))
            .toLocal8Bit();
    std::fputs(line.constData(), stderr);
}

std::vector<std::string> texts(const QStringList &hosts)
{
    std::vector<std::string> converted;
    for (const QString &host : hosts)
        converted.push_back(host.toStdString());
    return converted;
}

host::HostIdentity identityOf(const fleet::WatchedHost &host)
{
    return {host.label, host.address, net::ipv4Text(host.address)};
}

} // namespace

HeadlessApplication::HeadlessApplication(HeadlessServices services, LaunchOptions options)
    : m_services(std::move(services)), m_options(std::move(options)),
      m_headless(m_options.headless.value_or(LaunchOptions::Headless{})),
      m_watch(new HeadlessWatch(m_options.alerts, this)),
      m_reader(new HostsReader(m_services.resolve, this))
{
    setObjectName(QStringLiteral("HeadlessApplication"));
    buildFeatures();
    m_probes = new HeadlessProbes(m_services.probeEchoLibrary, m_services.clock,
                                  m_headless.interval, this);
    connect(m_probes, &HeadlessProbes::probed, this, &HeadlessApplication::takeProbes);
    if (m_services.handleSignals)
        listenForSignals();
}

// The probes stop before the features go, so nothing is told to a feature
// that has gone; the history file commits as its recorder goes, the
// commands' groups end as theirs does.
HeadlessApplication::~HeadlessApplication()
{
    shutDown();
    delete m_probes;
}

// The window's features without a window, on the same host events.
void HeadlessApplication::buildFeatures()
{
    const host::HostEventSignals &events = m_watch->events();
    if (m_options.historyFile) {
        m_history = new history_view::HistoryRecorder(events, m_options.keepDays, this);
        m_history->keepIn(*m_options.historyFile);
    }
    if (m_options.traceOnDown) {
        m_traceOnDown = new path_view::TraceOnDown(*this, events, m_services.pathEchoLibrary,
                                                   {m_services.routes, {}});
        connect(m_traceOnDown, &path_view::TraceOnDown::verdictReached, m_watch,
                &HeadlessWatch::fileVerdict);
    }
    const path_view::TraceOnDown *trace = m_traceOnDown;
    m_records = attachRecords(*this, events, m_options,
                              [trace] { return trace != nullptr && trace->tracing(); },
                              RecordsOwner::Headless);
    if (m_records.metrics == nullptr) {
        m_metricsReady = true;
        return;
    }
    connect(m_records.metrics, &MetricsServer::listening, this, [this] {
        m_metricsReady = true;
        beginOnceReady();
    });
    connect(m_records.metrics, &MetricsServer::failed, this,
            [this](const QString &message) { failStart(QStringLiteral("--metrics: ") + message); });
    listenForScrapes(*m_records.metrics);
}

void HeadlessApplication::listenForSignals()
{
    auto *termination = new TerminationSignals(this, TerminationSignals::Hangup::Told);
    connect(termination, &TerminationSignals::received, this, [this](int signal) {
        if (signal == SIGHUP)
            reload();
        else
            shutDown();
    });
}

void HeadlessApplication::start()
{
    readHosts(true);
}

void HeadlessApplication::readHosts(bool starting)
{
    std::optional<std::string> file;
    if (m_headless.hostsFile)
        file = m_headless.hostsFile->toStdString();
    const bool reading =
        m_reader->read(texts(m_headless.hosts), file, [this, starting](const auto &read) {
            hostsRead(read, starting);
        });
    if (!reading && starting)
        failStart(tr("no thread to read the hosts with"));
    else if (!reading)
        say(tr("warning: the hosts are not read again: no thread to read them with"));
}

// At the start every problem is fatal, the first one said; read again, each
// is said, and a name that no longer resolves keeps the address it had.
void HeadlessApplication::hostsRead(const fleet::HostsReading &reading, bool starting)
{
    if (m_ending)
        return;
    if (starting && !reading.problems.empty()) {
        failStart(QString::fromStdString(reading.problems.front()));
        return;
    }
    for (const std::string &problem : reading.problems)
        say(tr("warning: %1").arg(QString::fromStdString(problem)));
    std::vector<fleet::WatchedHost> wanted = keepUnresolved(reading);
    if (wanted.empty())
        say(tr("warning: no hosts to watch yet; list them in the hosts file and send SIGHUP"));
    if (!starting) {
        applyHosts(wanted);
        return;
    }
    m_firstHosts = std::move(wanted);
    beginOnceReady();
}

std::vector<fleet::WatchedHost>
HeadlessApplication::keepUnresolved(const fleet::HostsReading &reading) const
{
    std::vector<fleet::WatchedHost> wanted = reading.hosts;
    for (const std::string &name : reading.unresolved) {
        for (const auto &[key, host] : m_hosts.hosts()) {
            if (host.label == name)
                wanted.push_back(host);
        }
    }
    return wanted;
}

void HeadlessApplication::beginOnceReady()
{
    if (m_started || !m_metricsReady || !m_firstHosts || m_ending)
        return;
    m_started = true;
    applyHosts(*m_firstHosts);
    m_firstHosts.reset();
}

// A name now found at another address ends the watch of the old one as a
// change of address; a host no longer listed ends it as stopped.
void HeadlessApplication::applyHosts(const std::vector<fleet::WatchedHost> &wanted)
{
    const fleet::HostSet::Change change = m_hosts.replace(wanted);
    const std::int64_t at = now();
    for (const auto &[key, host] : change.removed) {
        m_probes->remove(key);
        const bool moved = std::any_of(change.added.begin(), change.added.end(),
                                       [&host](const auto &added) {
                                           return added.second.label == host.label;
                                       });
        m_watch->unwatch(key, at, moved ? host::WatchEnd::AddressChanged : host::WatchEnd::Stopped);
    }
    std::vector<fleet::HostAddress> probed;
    for (const auto &[key, host] : change.added) {
        m_watch->watch(key, identityOf(host), at);
        probed.push_back({key, host.address});
    }
    for (const auto &[passed, watchedAs] : change.sameAddress)
        say(tr("warning: %1 is at the address of %2, watched once as %2")
                .arg(QString::fromStdString(passed), QString::fromStdString(watchedAs)));
    if (!m_probes->add(probed))
        say(tr("warning: not every host is probed: no thread to probe them on"));
    emit hostsApplied();
}

void HeadlessApplication::takeProbes(const std::vector<fleet::FleetProbe> &probes)
{
    std::vector<std::int64_t> delays;
    delays.reserve(probes.size());
    for (const fleet::FleetProbe &taken : probes) {
        m_watch->take(taken.host, taken.probe);
        delays.push_back(std::chrono::duration_cast<std::chrono::microseconds>(taken.lateness)
                             .count());
    }
    if (MetricsServer *server = m_records.metrics)
        server->recordSendDelays(delays);
}

// The log is let go of and opened again at its next line.
void HeadlessApplication::reload()
{
    if (m_ending)
        return;
    if (LiveLogWriter *log = m_records.log)
        QMetaObject::invokeMethod(log, &LiveLogWriter::reopen, Qt::QueuedConnection);
    if (m_headless.hostsFile)
        readHosts(false);
}

void HeadlessApplication::shutDown()
{
    end(0, {});
}

void HeadlessApplication::failStart(const QString &line)
{
    end(StartFailure, line);
}

// Every watch ends as the program does, once: the first end decides the
// status.
void HeadlessApplication::end(int status, const QString &line)
{
    if (m_ending)
        return;
    m_ending = true;
    if (!line.isEmpty())
        say(line);
    m_probes->stop();
    m_watch->unwatchAll(now(), host::WatchEnd::Closed);
    QCoreApplication::exit(status);
}

std::int64_t HeadlessApplication::now() const
{
    return host::millisecondsOf(m_services.clock.wallNow());
}

} // namespace app
