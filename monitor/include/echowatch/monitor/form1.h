#pragma once

#include "echowatch/probe/echo_status.h"

#include <QWidget>

#include <cstdint>

class FailureLogModel;
class Module1;
class QLabel;
class QLineEdit;
class QListView;
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
    Module1 &m_probe;
    probe::MessageBox &m_messageBox;
    const platform::Clock &m_clock;
    TickState m_tickState = TickState::Idle;
};
