#include "echowatch/path_view/path_actions.h"

#include "echowatch/path_view/path_window.h"

#include "echowatch/host/host_event_signals.h"
#include "echowatch/window/form1.h"

#include <QAction>

namespace path_view {

PathActions::PathActions(Form1 &window, const host::HostEventSignals &events,
                         EchoLibraryFactory factory)
    : QObject(&window), m_window(window), m_factory(std::move(factory)),
      m_action(new QAction(tr("Path…"), this))
{
    setObjectName(QStringLiteral("PathActions"));
    window.addContextAction(window::MenuSection::Views, m_action);
    connect(m_action, &QAction::triggered, this, &PathActions::showPath);
    connect(&events, &host::HostEventSignals::taken, this, &PathActions::note);
    // Until a probe has gone to an address there is no path to trace.
    connect(&window, &Form1::contextMenuOpening, this,
            [this] { m_action->setEnabled(m_destination.has_value()); });
}

void PathActions::note(const host::ProbeTaken &taken)
{
    if (taken.sent)
        m_destination = taken.host->address;
}

// A window already open for another address gives way to one for the
// address probed now.
void PathActions::showPath()
{
    if (!m_destination)
        return;
    // Deleted, not closed: a closed window is deleted only later, and would
    // be shown again in place of the new one.
    if (m_pathWindow && (!m_pathWindow->live() || m_pathWindow->destination() != *m_destination))
        delete m_pathWindow.data();
    if (!m_pathWindow)
        m_pathWindow = new PathWindow(*m_destination, m_factory, &m_window);
    bringForward();
}

void PathActions::showTrace(const TraceOnDown::Verdict &verdict)
{
    delete m_pathWindow.data();
    m_pathWindow = new PathWindow(verdict.destination, verdict.outageStart, verdict.trace,
                                  verdict.text, &m_window);
    bringForward();
}

void PathActions::bringForward()
{
    m_pathWindow->show();
    m_pathWindow->raise();
    m_pathWindow->activateWindow();
}

} // namespace path_view
