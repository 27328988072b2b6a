#pragma once

#include <QObject>
#include <QThread>

namespace platform {

// Whether the desktop says this computer is offline, as Qt's network
// information hears it from NetworkManager. The backend is loaded and heard
// on a thread of its own: loading it asks the system bus, which the
// window's thread never waits for. Where no NetworkManager answers (a
// server, a lab's namespace) it never says offline, and what the kernel
// says of the way out decides alone. Only NetworkManager's word is taken:
// other backends call a machine without a default route offline.
class DesktopNetwork : public QObject
{
    Q_OBJECT

public:
    explicit DesktopNetwork(QObject *parent = nullptr);
    ~DesktopNetwork() override;

    // What was heard last; false until the desktop has said otherwise.
    bool saysOffline() const noexcept { return m_offline; }

signals:
    // The backend was loaded and has said where it stands, or none could
    // be: from then on, changes are told.
    void heard(bool loaded);
    void changed(bool offline);

private:
    void hear(bool offline);

    QThread m_thread;
    bool m_offline = false;
};

} // namespace platform
