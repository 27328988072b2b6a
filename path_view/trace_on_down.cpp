#include "echowatch/path_view/trace_on_down.h"

#include "echowatch/path/path_verdict.h"
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

TraceOnDown::TraceOnDown(Form1 &window, EchoLibraryFactory factory, int downAfter)
    : QObject(&window), m_window(window),
      m_action(new QAction(tr("Trace the path when the host goes down"), this)),
      m_factory(std::move(factory)), m_state(downAfter)
{
    setObjectName(QStringLiteral("TraceOnDown"));
    m_action->setCheckable(true);
    window.addContextAction(window::MenuSection::Alerts, m_action);
    connect(&window, &Form1::probeShown, this, &TraceOnDown::observe);
}

TraceOnDown::~TraceOnDown()
{
    m_stop.request_stop();
    if (m_thread != nullptr) {
        m_thread->quit();
        m_thread->wait();
    }
}

// The host's hop is learnt from every answer, so a trace made once it has
// gone silent can tell the host's silence from a break before it.
void TraceOnDown::observe(const probe::ProbeEvent &event)
{
    if (event.details.destination != m_destination) {
        m_destination = event.details.destination;
        m_hostHop = 0;
        m_state.forget();
        noteWhileDown({});
    }
    if (event.details.replyTtl != 0)
        m_hostHop = path::hostHopFromReplyTtl(event.details.replyTtl);
    const auto change = m_state.observe(event);
    if (!change)
        return;
    if (change->kind == alerts::HostChange::Kind::Up) {
        noteWhileDown({});
        return;
    }
    m_down = OutageKey{m_destination, change->outage.start};
    if (m_action->isChecked())
        startTrace(m_destination, change->outage.start);
}

// The verdict is read on the status line's tooltip while its outage lasts;
// none (an empty text) once the host is back or another is probed.
void TraceOnDown::noteWhileDown(const Verdict &verdict)
{
    if (verdict.text.isEmpty())
        m_down.reset();
    else if (m_down != OutageKey{verdict.destination, verdict.outageStart})
        return;
    m_window.setStatusNote(QStringLiteral("path"),
                           verdict.text.isEmpty() ? QString() : tr("Where: %1").arg(verdict.text));
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

void TraceOnDown::startTrace(std::uint32_t destination, std::int64_t outageStart)
{
    if (m_thread == nullptr && !startThread()) {
        retryLater(destination, outageStart);
        return;
    }
    m_shortageSaid = false;
    m_pending.push_back({destination, outageStart});
    auto *worker = m_worker;
    const int hostHop = m_hostHop;
    QMetaObject::invokeMethod(
        worker, [worker, destination, hostHop] { worker->trace(destination, hostHop); });
}

bool TraceOnDown::startThread()
{
    const auto started = startWorker(*this, m_factory, m_stop.get_token());
    if (started.thread == nullptr)
        return false;
    m_thread = started.thread;
    m_worker = started.worker;
    connect(m_worker, &PathWorker::traceDone, this, &TraceOnDown::keep);
    return true;
}

// No descriptor for the trace's thread is the process's passing state: said
// once, and tried again while the outage lasts.
void TraceOnDown::retryLater(std::uint32_t destination, std::int64_t outageStart)
{
    if (!m_shortageSaid) {
        const QString line = QCoreApplication::applicationName() +
                             tr(": warning: the path is not traced yet: no descriptor is free; "
                                "trying again") +
                             QLatin1Char('\n');
        std::fputs(line.toLocal8Bit().constData(), stderr);
        m_shortageSaid = true;
    }
    QTimer::singleShot(RetrySpacing, this, [this, destination, outageStart] {
        if (m_action->isChecked() && m_down == OutageKey{destination, outageStart})
            startTrace(destination, outageStart);
    });
}

// Traces finish in the order they were asked for, one worker doing them.
void TraceOnDown::keep(const path::PathTable &trace, int hostHop)
{
    if (m_pending.empty())
        return;
    const auto text = QString::fromStdString(path::verdictText(path::judgeTrace(trace, hostHop)));
    const OutageKey outage = m_pending.front();
    m_pending.erase(m_pending.begin());
    m_verdicts.push_back({outage.destination, outage.start, text, trace});
    noteWhileDown(m_verdicts.back());
    emit verdictReady(text);
    emit verdictKept(outage.destination, outage.start, text);
}

} // namespace path_view
