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
    ~PathWindow() override;

    std::uint32_t destination() const noexcept { return m_destination; }
    const PathTableModel &model() const noexcept { return *m_model; }
    void copyAsText();

private:
    void describeControls();
    void startRounds(EchoLibraryFactory factory);
    void showRound(const path::PathTable &table);
    void showUnavailable(int status);

    const std::uint32_t m_destination;
    PathTableModel *const m_model;
    QTableView *const m_table;
    QLabel *const m_status;
    std::stop_source m_stop;
    QThread *m_thread = nullptr;
};

} // namespace path_view
