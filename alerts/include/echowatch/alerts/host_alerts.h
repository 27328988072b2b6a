#pragma once

#include "echowatch/alerts/host_state.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <map>
#include <optional>

class Form1;
class QAction;
namespace platform {
class Notifications;
struct Notification;
} // namespace platform

namespace alerts {

struct HostNaming;

// The desktop told when a watched host goes down and when it comes back,
// each host on its own, once the user asks for it in the window's context
// menu or with --notify.
class HostAlerts : public QObject
{
    Q_OBJECT

public:
    // notifications must outlive the window.
    HostAlerts(Form1 &window, platform::Notifications &notifications, int downAfter);

    QAction *action() const noexcept { return m_action; }
    QAction *soundAction() const noexcept { return m_soundAction; }
    // Switches the alerts on, where the desktop has a notification service;
    // false when it is known to have none. Asked before the bus has said,
    // they are switched on once it has, or a warning is printed then.
    bool switchOn();
    // Calls the host by the name it was given; naming must outlive this.
    void setNaming(const HostNaming *naming) noexcept { m_naming = naming; }
    // Where the path broke, learnt after the host was called down: the down
    // bubble, while the outage lasts, is shown again telling it.
    void tellWhere(const QString &where);

private:
    void offerIfServed();
    void serviceLearnt();
    void observe(const probe::ProbeEvent &event);
    platform::Notification notificationOf(const HostChange &change, std::uint32_t host) const;

    platform::Notifications &m_notifications;
    QAction *const m_action;
    QAction *const m_soundAction;
    const HostNaming *m_naming = nullptr;
    int m_downAfter;
    std::map<std::uint32_t, HostState> m_hosts;
    std::uint32_t m_latest = 0;
    // The outage under way, once told, and its host.
    std::optional<HostChange> m_down;
    std::uint32_t m_downHost = 0;
    bool m_switchOnWhenLearnt = false;
};

enum class AlertSound
{
    Silent,
    Played,
};

// The bubble for a change of the host at address, in the user's locale.
platform::Notification outageNotification(const HostChange &change, const QString &address,
                                          AlertSound sound = AlertSound::Silent);

// "192.0.2.7", an address in network byte order as dotted text.
QString dottedAddress(std::uint32_t address);

} // namespace alerts
