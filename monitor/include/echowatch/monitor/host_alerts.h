#pragma once

#include "echowatch/monitor/outage_tracker.h"

#include <QObject>
#include <QString>

class Form1;
class QAction;
struct HostNaming;

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
    QAction *soundAction() const noexcept { return m_soundAction; }
    // Switches the alerts on, where the desktop has a notification service.
    bool switchOn();
    // Calls the host by the name it was given; naming must outlive this.
    void setNaming(const HostNaming *naming) noexcept { m_naming = naming; }

private:
    void offerIfServed();
    void observe(const probe::ProbeEvent &event);

    Form1 &m_window;
    platform::Notifications &m_notifications;
    QAction *const m_action;
    QAction *const m_soundAction;
    const HostNaming *m_naming = nullptr;
    OutageTracker m_tracker;
    QString m_address;
};

enum class AlertSound
{
    Silent,
    Played,
};

// The bubble for a change of the host at address, in the user's locale.
platform::Notification outageNotification(const Outage &outage, const QString &address,
                                          AlertSound sound = AlertSound::Silent);
