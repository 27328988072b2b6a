#pragma once

#include "echowatch/path_view/path_window.h"
#include "echowatch/path_view/trace_on_down.h"

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <optional>

class Form1;
class QAction;

namespace host {
class HostEventSignals;
struct ProbeTaken;
} // namespace host

namespace path_view {

// "Path…" in the window's context menu: the Path window for the host the
// window last sent a probe to, one per main window. Nothing is traced until
// the user opens it.
class PathActions : public QObject
{
    Q_OBJECT

public:
    // events must outlive the window.
    PathActions(Form1 &window, const host::HostEventSignals &events, EchoLibraryFactory factory);

    void showPath();
    // The trace kept at an outage's start, in place of the window open.
    void showTrace(const TraceOnDown::Verdict &verdict);
    QAction *action() const noexcept { return m_action; }
    PathWindow *pathWindow() const noexcept { return m_pathWindow; }

private:
    void note(const host::ProbeTaken &taken);
    void bringForward();

    Form1 &m_window;
    EchoLibraryFactory m_factory;
    QAction *const m_action;
    QPointer<PathWindow> m_pathWindow;
    std::optional<std::uint32_t> m_destination;
};

} // namespace path_view
