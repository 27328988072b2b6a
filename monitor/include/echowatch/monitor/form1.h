#pragma once

#include "echowatch/probe/echo_status.h"
#include "echowatch/probe/probe_details.h"

#include <QWidget>

#include <cstdint>

class FailureLogModel;
class Module1;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QPushButton;
class QTimer;

namespace platform {
class Clock;
} // namespace platform

namespace probe {
class MessageBox;
} // namespace probe

// The one window: an address, an interval, Start/Stop, the latest probe's
// outcome and a log of the failures. Its collaborators are the caller's and
// must outlive it; the controls are its children.
class Form1 : public QWidget
{
    Q_OBJECT

public:
    Form1(Module1 &probe, probe::MessageBox &messageBox, const platform::Clock &clock,
          QWidget *parent = nullptr);

    // One probe of the address in Text1, at each tick of Timer1.
    void ProbeTick();
    // A click on Command1: switch the probe timer on at the interval in
    // Text2, or off.
    void ToggleMonitoring();

    QLineEdit *const Text1;
    QPushButton *const Command1;
    QLineEdit *const Text2;
    QLabel *const Label2;
    QLabel *const Label3;
    QLabel *const Label1;
    QLabel *const Label4;
    QListView *const List1;
    QTimer *const Timer1;

    // What a right click (or the Menu key, or Shift+F10) on the window opens.
    // Empty, and so never shown, until a feature beyond the window's own
    // controls adds its actions.
    QMenu *contextMenu() const noexcept { return m_contextMenu; }

signals:
    // After a tick has shown its probe, for what keeps or reports probes.
    void probeShown(const probe::ProbeEvent &event);

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    enum class TickState
    {
        Idle,
        Running,
    };

    void describeInputs();
    void describeForScreenReaders();
    void setTabOrder();
    void showResult(EchoStatus status, std::int32_t roundTripTime, std::int32_t dataSize);

    FailureLogModel *const m_log;
    QMenu *const m_contextMenu;
    Module1 &m_probe;
    probe::MessageBox &m_messageBox;
    const platform::Clock &m_clock;
    TickState m_tickState = TickState::Idle;
};
