#pragma once

#include "echowatch/app/application.h"
#include "echowatch/helper/automatic_echo_library.h"
#include "echowatch/net/sockets_library.h"
#include "echowatch/platform/clock.h"
#include "echowatch/platform/desktop_network.h"
#include "echowatch/platform/desktop_notifications.h"
#include "echowatch/platform/qt_message_box.h"

#include <QString>

class QWidget;

namespace app {

// The services the program runs on in earnest: the system's sockets, the
// echo service (a ping socket, or the probe helper where those are
// refused), the toolkit's message box, the wall clock and the desktop's
// notifications, with the machine's sleep and SIGTERM and SIGINT heeded;
// the kernel's routes and the desktop's word on whether it is offline for
// the class of an outage.
class SystemServices
{
public:
    // applicationId names the icon and desktop entry notifications show.
    explicit SystemServices(const QString &applicationId);

    Services services();
    // The window the message boxes are shown over.
    void setWindow(QWidget *window) noexcept { m_messageBox.setOwner(window); }

private:
    net::LinuxSocketsLibrary m_sockets;
    helper::AutomaticEchoLibrary m_icmp;
    platform::QtMessageBox m_messageBox;
    platform::SystemClock m_clock;
    platform::DesktopNotifications m_notifications;
    platform::DesktopNetwork m_network;
};

} // namespace app
