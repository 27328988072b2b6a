#include "echowatch/path_view/trace_on_down.h"

#include "echowatch/path/path_verdict.h"
#include "echowatch/window/form1.h"

#include <QAction>
#include <QThread>

namespace path_view {

TraceOnDown::TraceOnDown(Form1 &window, EchoLibraryFactory factory, int downAfter)
    : QObject(&window), m_action(new QAction(tr("Trace the path when the host goes down"), this)),
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
    }
    if (event.details.replyTtl != 0)
        m_hostHop = path::hostHopFromReplyTtl(event.details.replyTtl);
    const auto change = m_state.observe(event);
    if (change && change->kind == alerts::HostChange::Kind::Down && m_action->isChecked())
        startTrace(m_destination, change->outage.start);
}

void TraceOnDown::startTrace(std::uint32_t destination, std::int64_t outageStart)
{
    if (m_thread == nullptr) {
        const auto started = startWorker(*this, m_factory, m_stop.get_token());
        m_thread = started.thread;
        m_worker = started.worker;
        connect(m_worker, &PathWorker::traceDone, this, &TraceOnDown::keep);
    }
    m_pending.push_back(outageStart);
    auto *worker = m_worker;
    const int hostHop = m_hostHop;
    QMetaObject::invokeMethod(
        worker, [worker, destination, hostHop] { worker->trace(destination, hostHop); });
}

// Traces finish in the order they were asked for, one worker doing them.
void TraceOnDown::keep(const path::PathTable &trace, int hostHop)
{
    if (m_pending.empty())
        return;
    const auto text = QString::fromStdString(path::verdictText(path::judgeTrace(trace, hostHop)));
    m_verdicts.push_back({m_pending.front(), text, trace});
    m_pending.erase(m_pending.begin());
    emit verdictReady(text);
}

} // namespace path_view
