#include "form1.h"

#include "platform/clock.h"
#include "platform/icmp_echo_library.h"
#include "platform/qt_message_box.h"
#include "platform/sockets_library.h"
#include "probe/module1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);

    platform::LinuxSocketsLibrary sockets;
    platform::LinuxIcmpEchoLibrary icmp;
    platform::QtMessageBox messageBox;
    Module1 probe(sockets, icmp, messageBox);
    platform::SystemClock clock;

    Form1 window(probe, messageBox, clock);
    messageBox.setOwner(&window);
    window.show();
    return application.exec();
}
