#pragma once

#include "echowatch/alerts/host_state.h"
#include "echowatch/path/hop_stats.h"
#include "echowatch/path_view/path_worker.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>
#include <stop_token>
#include <vector>

class Form1;
class QAction;
class QThread;

namespace path_view {

// "Trace the path when the host goes down" (or --trace-on-down): when the
// host is called down, one trace runs on a thread of its own and its
// verdict is kept with the outage, and read on the status line's tooltip
// while the outage lasts. Off until the user asks for it.
class TraceOnDown : public QObject
{
    Q_OBJECT

public:
    struct Verdict
    {
        std::uint32_t destination;
        std::int64_t outageStart; // ms since the epoch, as the outage's
        QString text;
        path::PathTable trace;
    };

    TraceOnDown(Form1 &window, EchoLibraryFactory factory, int downAfter);
    ~TraceOnDown() override;

    QAction *action() const noexcept { return m_action; }
    const std::vector<Verdict> &verdicts() const noexcept { return m_verdicts; }
    const Verdict *verdictFor(std::uint32_t destination, std::int64_t outageStart) const;

signals:
    void verdictReady(const QString &text);
    // The same verdict with the outage it belongs to.
    void verdictKept(quint32 destination, qint64 outageStart, const QString &text);

private:
    void observe(const probe::ProbeEvent &event);
    void startTrace(std::uint32_t destination, std::int64_t outageStart);
    bool startThread();
    void retryLater(std::uint32_t destination, std::int64_t outageStart);
    void keep(const path::PathTable &trace, int hostHop);
    void noteWhileDown(const Verdict &verdict);

    struct OutageKey
    {
        std::uint32_t destination;
        std::int64_t start;
        bool operator==(const OutageKey &) const = default;
    };

    Form1 &m_window;
    QAction *const m_action;
    EchoLibraryFactory m_factory;
    alerts::HostState m_state;
    std::uint32_t m_destination = 0;
    int m_hostHop = 0;
    std::vector<Verdict> m_verdicts;
    std::vector<OutageKey> m_pending; // outages whose trace runs
    std::optional<OutageKey> m_down;  // the outage under way, once called down
    std::stop_source m_stop;
    QThread *m_thread = nullptr;
    PathWorker *m_worker = nullptr;
    bool m_shortageSaid = false;
};

} // namespace path_view
