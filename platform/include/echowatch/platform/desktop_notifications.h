#pragma once

#include <QObject>
#include <QString>

#include <cstdint>

namespace platform {

enum class NotificationUrgency : std::uint8_t
{
    Low = 0,
    Normal = 1,
    Critical = 2,
};

struct Notification
{
    QString summary;
    QString body;
    NotificationUrgency urgency = NotificationUrgency::Normal;
    // A name from the freedesktop.org sound theme, which the service plays
    // with the bubble; empty for none.
    QString soundName;
};

// The desktop's bubbles as the window's alerts use them: each one replaces
// the bubble this object showed last, so a window never stacks them.
class Notifications
{
public:
    virtual ~Notifications() = default;
    // Asks the bus, so it is called only once the user wants notifications.
    virtual bool available() = 0;
    virtual void show(const Notification &notification) = 0;
};

// The freedesktop.org notification service on the session bus.
class DesktopNotifications final : public QObject, public Notifications
{
    Q_OBJECT

public:
    // The application's id names its icon and its desktop entry.
    DesktopNotifications(QString applicationName, QString applicationId, QObject *parent = nullptr);

    bool available() override;
    void show(const Notification &notification) override;

private:
    QString m_applicationName;
    QString m_applicationId;
    // The service's id of the bubble shown last; 0 asks for a new one.
    quint32 m_shownId = 0;
};

} // namespace platform
