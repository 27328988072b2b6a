#pragma once

#include "echowatch/alerts/host_state.h"
#include "echowatch/path/hop_stats.h"
#include "echowatch/path_view/path_worker.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <stop_token>
#include <vector>

class Form1;
class QAction;
class QThread;

namespace path_view {

// "Trace the path when the host goes down" (or --trace-on-down): when the
// host is called down, one trace runs on a thread of its own and its
// verdict is kept with the outage. Off until the user asks for it.
class TraceOnDown : public QObject
{
    Q_OBJECT

public:
    struct Verdict
    {
        std::int64_t outageStart; // ms since the epoch, as the outage's
        QString text;
        path::PathTable trace;
    };

    TraceOnDown(Form1 &window, EchoLibraryFactory factory, int downAfter);
    ~TraceOnDown() override;

    QAction *action() const noexcept { return m_action; }
    const std::vector<Verdict> &verdicts() const noexcept { return m_verdicts; }

signals:
    void verdictReady(const QString &text);

private:
    void observe(const probe::ProbeEvent &event);
    void startTrace(std::uint32_t destination, std::int64_t outageStart);
    void keep(const path::PathTable &trace, int hostHop);

    QAction *const m_action;
    EchoLibraryFactory m_factory;
    alerts::HostState m_state;
    std::uint32_t m_destination = 0;
    int m_hostHop = 0;
    std::vector<Verdict> m_verdicts;
    std::vector<std::int64_t> m_pending; // outages whose trace runs
    std::stop_source m_stop;
    QThread *m_thread = nullptr;
    PathWorker *m_worker = nullptr;
};

} // namespace path_view
