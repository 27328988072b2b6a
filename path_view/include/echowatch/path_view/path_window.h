#pragma once

#include "echowatch/path/hop_stats.h"
#include "echowatch/path_view/path_worker.h"

#include <QWidget>

#include <cstdint>
#include <stop_token>

class QLabel;
class QTableView;
class QThread;

namespace path_view {

class PathTableModel;

// The hops on the way to one host, as rounds of TTL-limited requests find
// them, once a second while the window is open. The rounds run on a thread
// of their own, so the window never waits for the network; closing the
// window stops them (waiting at most for the request under way).
class PathWindow : public QWidget
{
    Q_OBJECT

public:
    PathWindow(std::uint32_t destination, EchoLibraryFactory factory, QWidget *owner);
    // A trace made earlier, shown as it was, with what it was judged to
    // mean; no requests are sent.
    PathWindow(std::uint32_t destination, qint64 tracedAt, const path::PathTable &trace,
               const QString &verdict, QWidget *owner);
    ~PathWindow() override;

    std::uint32_t destination() const noexcept { return m_destination; }
    // Whether its rounds run, rather than it showing a trace kept.
    bool live() const noexcept { return m_thread != nullptr; }
    const PathTableModel &model() const noexcept { return *m_model; }
    void copyAsText();

private:
    enum class Kind
    {
        Rounds,
        KeptTrace,
    };
    PathWindow(std::uint32_t destination, Kind kind, QWidget *owner);
    void describeControls(Kind kind);
    void startRounds(EchoLibraryFactory factory);
    void showRound(const path::PathTable &table);
    void showUnavailable(int status);

    const std::uint32_t m_destination;
    PathTableModel *const m_model;
    QTableView *const m_table;
    QLabel *const m_status;
    std::stop_source m_stop;
    QThread *m_thread = nullptr;
    // The program is ending: a thread still tracing is waited for, so that
    // nothing runs past it.
    bool m_quitting = false;
};

} // namespace path_view
