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
class Notifications : public QObject
{
    Q_OBJECT

public:
    enum class Service
    {
        // Not known yet: the bus has not answered.
        Unknown,
        Served,
        Absent,
    };

    using QObject::QObject;

    // Whether the desktop has a notification service, as last learnt; never
    // waits for the bus.
    virtual Service service() const = 0;
    virtual void show(const Notification &notification) = 0;

signals:
    // service() has changed.
    void serviceChanged();
};

// The freedesktop.org notification service on the session bus. Whether it
// is there is asked once, without waiting, and again whenever the
// service's name changes hands (a desktop session that starts or ends it).
class DesktopNotifications final : public Notifications
{
    Q_OBJECT

public:
    // The application's id names its icon and its desktop entry.
    DesktopNotifications(QString applicationName, QString applicationId, QObject *parent = nullptr);

    Service service() const override { return m_service; }
    void show(const Notification &notification) override;

private:
    void askForService();
    void askForActivation(unsigned int question);
    void learn(unsigned int question, Service service);

    QString m_applicationName;
    QString m_applicationId;
    Service m_service = Service::Unknown;
    // Answers to an older question are ignored.
    unsigned int m_question = 0;
    // The service's id of the bubble shown last; 0 asks for a new one.
    quint32 m_shownId = 0;
};

} // namespace platform
