#pragma once

#include "echowatch/probe/echo_status.h"
#include "echowatch/probe/probe_details.h"
#include "echowatch/window/probe_runner.h"

#include <QList>
#include <QString>
#include <QWidget>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string_view>

class QAction;
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

namespace window {

class FailureLogModel;

// Where an action goes in the window's context menu: the sections keep
// this order whichever feature adds its actions first.
enum class MenuSection
{
    Views,
    Log,
    Files,
    Alerts,
};

} // namespace window

// The one window: an address, an interval, Start/Stop, the latest probe's
// outcome and a log of the failures. Its collaborators are the caller's and
// must outlive it; the controls are its children. It keeps the name it was
// drawn under, outside the window namespace, as Module1 does. What is built
// beyond it learns of it from its signals and offers itself through its
// context menu; it never reads the controls.
class Form1 : public QWidget
{
    Q_OBJECT

public:
    // probes runs each tick's probe; messageBox is the window's own, shown on
    // its thread.
    Form1(window::ProbeRunner &probes, probe::MessageBox &messageBox, const platform::Clock &clock,
          QWidget *parent = nullptr);

    // One probe of the address in Text1, at each tick of Timer1. The labels
    // and the log are written when its result comes back; ticks while it is
    // under way make one more probe as soon as it ends, and ticks while one
    // of its message boxes is open are dropped.
    void ProbeTick();
    // A click on Command1: switch the probe timer on at the interval in
    // Text2, or off. A click while a probe is under way takes effect once
    // that probe's result is shown, as a click waited for the tick that
    // probed in the window's thread: Stop never cuts a probe short, and
    // nothing is shown after the caption reads "Start".
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
    // controls adds its actions, each at the end of its section.
    QMenu *contextMenu() const noexcept { return m_contextMenu; }
    void addContextAction(window::MenuSection section, QAction *action);

    // The status line's tooltip: what its latest status means, then a note
    // of each feature that has one (a warning, where the path broke), in the
    // order the features first gave one. An empty text takes a note away.
    void setStatusExplanation(const QString &text);
    void setStatusNote(const QString &feature, const QString &text);

signals:
    // After a tick has shown its probe, for what keeps or reports probes;
    // the event names the address the probe went to.
    void probeShown(const probe::ProbeEvent &event);
    // After a click on Command1 switched the probes on or off.
    void monitoringChanged(bool running);
    // Just before the context menu opens, for actions that ask whether they
    // can be taken now.
    void contextMenuOpening();

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    enum class TickState
    {
        Idle,
        Probing,
        ShowingBox,
    };

    void describeInputs();
    void describeForScreenReaders();
    void setTabOrder();
    void openContextMenuFromKeyboard();
    void startProbe();
    void takeResult(const window::ProbeResult &result);
    void toggle();
    void applyWaitingClicks();
    void giveUpOnProbe();
    void showProbe(const window::ProbeResult &result);
    void showMessage(std::string_view text, probe::MessageIcon icon);
    void showResult(EchoStatus status, std::int32_t roundTripTime, std::int32_t dataSize);
    void showStatusTooltip();

    window::FailureLogModel *const m_log;
    QMenu *const m_contextMenu;
    window::ProbeRunner &m_probes;
    probe::MessageBox &m_messageBox;
    const platform::Clock &m_clock;
    TickState m_tickState = TickState::Idle;
    // A tick came while the probe was under way.
    bool m_tickPending = false;
    std::uint64_t m_sequence = 0;
    std::chrono::system_clock::time_point m_sentAt;
    std::chrono::nanoseconds m_sentSinceBoot{0};
    // Message boxes of the window's open now; a result that comes back
    // while one is open waits for it to close.
    int m_boxesOpen = 0;
    std::optional<window::ProbeResult> m_heldResult;
    // Clicks on Command1 that came while a probe was under way, to be
    // taken in turn once it is shown; and what bounds their wait should
    // the probe's result never come.
    int m_clicksWaiting = 0;
    QTimer *const m_clickBound;
    QString m_statusExplanation;
    QList<std::pair<QString, QString>> m_statusNotes;
};
