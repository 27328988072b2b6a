#include "echowatch/monitor/form1.h"

#include "echowatch/net/icmp_echo_library.h"
#include "echowatch/net/probe_helper_location.h"
#include "echowatch/net/sockets_library.h"
#include "echowatch/platform/clock.h"
#include "echowatch/platform/qt_message_box.h"
#include "echowatch/probe/module1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);

    net::LinuxSocketsLibrary sockets;
    net::LinuxIcmpEchoLibrary icmp(net::SocketKindChoice::Automatic, net::probeHelperPath());
    platform::QtMessageBox messageBox;
    Module1 probe(sockets, icmp, messageBox);
    platform::SystemClock clock;

    Form1 window(probe, messageBox, clock);
    messageBox.setOwner(&window);
    window.show();
    return application.exec();
}
