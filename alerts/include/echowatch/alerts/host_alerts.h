#pragma once

#include "echowatch/host/host_events.h"

#include <QObject>
#include <QString>

#include <optional>

class Form1;
class QAction;
namespace host {
class HostEventSignals;
} // namespace host
namespace platform {
class Notifications;
struct Notification;
} // namespace platform

namespace alerts {

enum class AlertSound
{
    Silent,
    Played,
};

// The desktop told when a watched host goes down and when it comes back,
// when it flaps (once) and settles, and when it becomes slow and normal
// again, as the host monitor calls it, once the user asks for it in the
// window's context menu or with --notify; and, while the outage lasts,
// where a trace found the path broken.
class HostAlerts : public QObject
{
    Q_OBJECT

public:
    // notifications and events must outlive the window.
    HostAlerts(Form1 &window, const host::HostEventSignals &events,
               platform::Notifications &notifications);

    QAction *action() const noexcept { return m_action; }
    QAction *soundAction() const noexcept { return m_soundAction; }
    // Switches the alerts on, where the desktop has a notification service;
    // false when it is known to have none. Asked before the bus has said,
    // they are switched on once it has, or a warning is printed then.
    bool switchOn();

private:
    void offerIfServed();
    void serviceLearnt();
    void tellDown(const host::HostDown &down);
    void tellUp(const host::HostUp &up);
    void forget(const host::WatchEnded &ended);
    void tellWhere(const host::VerdictFiled &filed);
    void tellFlapping(const host::FlappingStarted &flapping);
    void tellSettled(const host::FlappingSettled &settled);
    AlertSound sound() const;

    platform::Notifications &m_notifications;
    QAction *const m_action;
    QAction *const m_soundAction;
    // The outage under way, once told.
    std::optional<host::HostDown> m_down;
    bool m_switchOnWhenLearnt = false;
};

// The bubbles for a host's going down and coming back, in the user's
// locale; a down one tells where the path broke when that is known, and a
// down by loss how many of the last probes failed.
platform::Notification downNotification(const host::HostDown &down,
                                        AlertSound sound = AlertSound::Silent,
                                        const QString &where = {});
platform::Notification upNotification(const host::HostUp &up,
                                      AlertSound sound = AlertSound::Silent);

} // namespace alerts
