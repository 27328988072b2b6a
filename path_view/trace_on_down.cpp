#include "echowatch/path_view/trace_on_down.h"

#include "echowatch/host/host_event_signals.h"
#include "echowatch/path/path_verdict.h"
#include "echowatch/path_view/side_judgement.h"
#include "echowatch/probe/status_text.h"
#include "echowatch/window/form1.h"

#include <QAction>
#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <cstdio>

namespace path_view {

namespace {

// Between attempts to start the trace's thread while no descriptor is free.
constexpr std::chrono::seconds RetrySpacing{1};

} // namespace

TraceOnDown::TraceOnDown(Form1 &window, const host::HostEventSignals &events,
                         EchoLibraryFactory factory, SideSources sides)
    : TraceOnDown(window, &window, events, std::move(factory), std::move(sides))
{
    window.addContextAction(window::MenuSection::Alerts, m_action);
}

// An action needs the window toolkit's application: without a window the
// traces are simply on.
TraceOnDown::TraceOnDown(QObject &owner, const host::HostEventSignals &events,
                         EchoLibraryFactory factory, SideSources sides)
    : TraceOnDown(owner, nullptr, events, std::move(factory), std::move(sides))
{}

TraceOnDown::TraceOnDown(QObject &owner, Form1 *window, const host::HostEventSignals &events,
                         EchoLibraryFactory factory, SideSources sides)
    : QObject(&owner), m_window(window),
      m_action(window != nullptr ? new QAction(tr("Trace the path when the host goes down"), this)
                                 : nullptr),
      m_factory(std::move(factory)), m_sides(std::move(sides))
{
    setObjectName(QStringLiteral("TraceOnDown"));
    if (m_action != nullptr)
        m_action->setCheckable(true);
    connect(&events, &host::HostEventSignals::taken, this, &TraceOnDown::learnHop);
    connect(&events, &host::HostEventSignals::down, this, &TraceOnDown::traceOutage);
    connect(&events, &host::HostEventSignals::filed, this, &TraceOnDown::showWhere);
    connect(&events, &host::HostEventSignals::up, this,
            [this](const host::HostUp &up) { outageOver(up.outage); });
    connect(&events, &host::HostEventSignals::ended, this, [this](const host::WatchEnded &ended) {
        if (ended.outage)
            outageOver(*ended.outage);
    });
}

bool TraceOnDown::tracing() const
{
    return m_action == nullptr || m_action->isChecked();
}

TraceOnDown::~TraceOnDown()
{
    m_stop.request_stop();
    if (m_thread != nullptr) {
        m_thread->quit();
        m_thread->wait();
    }
}

void TraceOnDown::learnHop(const host::ProbeTaken &taken)
{
    if (!taken.sent)
        return;
    int &hop = m_hostHops[taken.host->address];
    if (taken.probe.details.replyTtl != 0)
        hop = path::hostHopFromReplyTtl(taken.probe.details.replyTtl);
}

void TraceOnDown::traceOutage(const host::HostDown &down)
{
    // A new outage: the status line tells of it, no longer of another.
    if (m_down)
        showNoOutage();
    m_down = down.outage;
    m_open.insert(down.outage);
    if (!tracing())
        return;
    const Asked asked{down.outage, down.host.address, down.figures.start};
    if (m_running.size() >= MostTracesWaiting) {
        emit verdictReached(asked.outage,
                            host::Verdict{host::Side::Unknown,
                                          "not traced: too many traces waiting", false});
        return;
    }
    startTrace(asked);
}

void TraceOnDown::startTrace(const Asked &asked)
{
    if (m_worker == nullptr && !startThread()) {
        retryLater(asked);
        return;
    }
    m_shortageSaid = false;
    m_running[asked.outage] = {asked.destination, asked.outageStart};
    const auto known = m_hostHops.find(asked.destination);
    const int hostHop = known != m_hostHops.end() ? known->second : 0;
    PathWorker *traced = m_worker;
    QMetaObject::invokeMethod(traced, [traced, asked, hostHop] {
        traced->trace(asked.outage, asked.destination, hostHop);
    });
}

bool TraceOnDown::startThread()
{
    const auto started = startWorker(*this, m_factory, m_stop.get_token(), m_sides.routes);
    if (started.thread == nullptr)
        return false;
    m_thread = started.thread;
    m_worker = started.worker;
    connect(m_worker, &PathWorker::traceDone, this, &TraceOnDown::keep);
    connect(m_worker, &PathWorker::traceFailed, this, &TraceOnDown::fail);
    return true;
}

// No descriptor for the trace's thread is the process's passing state: said
// once, and tried again while the outage lasts.
void TraceOnDown::retryLater(const Asked &asked)
{
    if (!m_shortageSaid) {
        const QString line = QCoreApplication::applicationName() +
                             tr(": warning: the path is not traced yet: no descriptor is free; "
                                "trying again") +
                             QLatin1Char('\n');
        std::fputs(line.toLocal8Bit().constData(), stderr);
        m_shortageSaid = true;
    }
    QTimer::singleShot(RetrySpacing, this, [this, asked] {
        if (tracing() && m_open.contains(asked.outage))
            startTrace(asked);
    });
}

void TraceOnDown::keep(quint64 outage, const TraceFindings &findings)
{
    const auto running = m_running.find(outage);
    if (running == m_running.end())
        return;
    const Traced traced = running->second;
    m_running.erase(running);
    const host::Verdict verdict = judgeSide({traced.destination, findings.route, desktopOffline(),
                                             gatewayAnswerOf(findings.gatewayEcho),
                                             path::judgeTrace(findings.trace, findings.hostHop)});
    // Only a window shows a trace again.
    if (m_window != nullptr)
        m_verdicts.push_back({traced.destination, traced.outageStart,
                              QString::fromStdString(verdict.text), findings.trace});
    emit verdictReached(outage, verdict);
}

// The outage gets its answer all the same: no path to tell, and whoever
// waits for one waits no longer. The kernel and the desktop may class it
// still.
void TraceOnDown::fail(quint64 outage, int status, const TraceFindings &findings)
{
    const auto running = m_running.find(outage);
    if (running == m_running.end())
        return;
    const std::uint32_t destination = running->second.destination;
    m_running.erase(running);
    host::Verdict verdict = judgeSide(
        {destination, findings.route, desktopOffline(), GatewayAnswer::NotAsked, std::nullopt});
    if (verdict.side == host::Side::Unknown)
        verdict.text = status != 0 ? "not traced: " + StatusText(status) : "not traced";
    emit verdictReached(outage, verdict);
}

bool TraceOnDown::desktopOffline() const
{
    return m_sides.desktopOffline && m_sides.desktopOffline();
}

const TraceOnDown::Verdict *TraceOnDown::verdictFor(std::uint32_t destination,
                                                    std::int64_t outageStart) const
{
    for (const Verdict &verdict : m_verdicts) {
        if (verdict.destination == destination && verdict.outageStart == outageStart)
            return &verdict;
    }
    return nullptr;
}

// Read on the status line's tooltip while its outage lasts.
void TraceOnDown::showWhere(const host::VerdictFiled &filed)
{
    if (m_window == nullptr || filed.outage != m_down || !host::tellsWhere(filed.verdict))
        return;
    m_window->setStatusNote(QStringLiteral("path"),
                           tr("Where: %1").arg(QString::fromStdString(filed.verdict.text)));
}

void TraceOnDown::outageOver(host::OutageId outage)
{
    m_open.erase(outage);
    if (outage == m_down)
        showNoOutage();
}

void TraceOnDown::showNoOutage()
{
    m_down.reset();
    if (m_window != nullptr)
        m_window->setStatusNote(QStringLiteral("path"), QString());
}

} // namespace path_view
