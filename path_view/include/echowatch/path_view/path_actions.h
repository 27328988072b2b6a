#pragma once

#include "echowatch/path_view/path_window.h"
#include "echowatch/path_view/trace_on_down.h"

#include <QObject>
#include <QPointer>

#include <cstdint>

class Form1;
class QAction;

namespace probe {
struct ProbeEvent;
} // namespace probe

namespace path_view {

// "Path…" in the window's context menu: the Path window for the address
// the window last probed, one per main window. Nothing is traced until the
// user opens it.
class PathActions : public QObject
{
    Q_OBJECT

public:
    PathActions(Form1 &window, EchoLibraryFactory factory);

    void showPath();
    // The trace kept at an outage's start, in place of the window open.
    void showTrace(const TraceOnDown::Verdict &verdict);
    QAction *action() const noexcept { return m_action; }
    PathWindow *pathWindow() const noexcept { return m_pathWindow; }

private:
    void note(const probe::ProbeEvent &event);
    void bringForward();

    Form1 &m_window;
    EchoLibraryFactory m_factory;
    QAction *const m_action;
    QPointer<PathWindow> m_pathWindow;
    std::uint32_t m_destination = 0;
};

} // namespace path_view
