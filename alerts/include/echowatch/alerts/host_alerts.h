#pragma once

#include "echowatch/alerts/host_state.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>

class Form1;
class QAction;
namespace platform {
class Notifications;
struct Notification;
} // namespace platform

namespace alerts {

// The desktop told when the watched host goes down and when it comes back,
// once the user asks for it in the window's context menu or with --notify.
class HostAlerts : public QObject
{
    Q_OBJECT

public:
    // notifications must outlive the window.
    HostAlerts(Form1 &window, platform::Notifications &notifications, int downAfter);

    QAction *action() const noexcept { return m_action; }
    // Switches the alerts on, where the desktop has a notification service.
    bool switchOn();
    // Where the path broke, learnt after the host was called down: the down
    // bubble, while the outage lasts, is shown again telling it.
    void tellWhere(const QString &where);

private:
    void offerIfServed();
    void observe(const probe::ProbeEvent &event);

    platform::Notifications &m_notifications;
    QAction *const m_action;
    HostState m_state;
    std::uint32_t m_destination = 0;
    std::optional<HostChange> m_down; // the outage under way, once told
};

// The bubble for a change of the host at address, in the user's locale.
platform::Notification outageNotification(const HostChange &change, const QString &address);

// "192.0.2.7", an address in network byte order as dotted text.
QString dottedAddress(std::uint32_t address);

} // namespace alerts
