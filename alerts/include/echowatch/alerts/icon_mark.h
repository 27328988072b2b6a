#pragma once

#include <QIcon>
#include <QObject>

class Form1;
class QAction;
namespace probe {
struct ProbeEvent;
} // namespace probe

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
// the latest probe's outcome while the probes run, once the user asks for it
// in the window's context menu.
class IconMark : public QObject
{
    Q_OBJECT

public:
    explicit IconMark(Form1 &window);

    QAction *action() const noexcept { return m_action; }

private:
    void showProbe(const probe::ProbeEvent &event);
    void show(ProbeMark mark);

    Form1 &m_window;
    QAction *const m_action;
    const QIcon m_plainIcon;
};

} // namespace alerts
