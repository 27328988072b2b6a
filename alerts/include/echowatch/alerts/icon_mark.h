#pragma once

#include <QIcon>
#include <QObject>

class Form1;
class QAction;
namespace host {
class HostEventSignals;
struct ProbeTaken;
} // namespace host

namespace alerts {

enum class ProbeMark
{
    Stopped,
    Answered,
    Failing,
};

// The application's icon with a mark for the latest outcome in its corner,
// drawn at whatever size is asked for; Stopped is the icon itself.
QIcon markedIcon(const QIcon &icon, ProbeMark mark);

// The window's icon (what the taskbar and the task switcher show) carrying
// the watched host's latest outcome, once the user asks for it in the
// window's context menu; with no host watched (Stop, text that is no
// address) the icon is plain.
class IconMark : public QObject
{
    Q_OBJECT

public:
    // events must outlive the window.
    IconMark(Form1 &window, const host::HostEventSignals &events);

    QAction *action() const noexcept { return m_action; }

private:
    void showProbe(const host::ProbeTaken &taken);
    void show(ProbeMark mark);

    Form1 &m_window;
    QAction *const m_action;
    const QIcon m_plainIcon;
};

} // namespace alerts
