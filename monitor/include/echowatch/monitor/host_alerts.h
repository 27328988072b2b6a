#pragma once

#include "echowatch/monitor/outage_tracker.h"

#include <QObject>
#include <QString>

class Form1;
class QAction;

namespace platform {
class Notifications;
struct Notification;
} // namespace platform

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

private:
    void offerIfServed();
    void observe(const probe::ProbeEvent &event);

    Form1 &m_window;
    platform::Notifications &m_notifications;
    QAction *const m_action;
    OutageTracker m_tracker;
    QString m_address;
};

// The bubble for a change of the host at address, in the user's locale.
platform::Notification outageNotification(const Outage &outage, const QString &address);
