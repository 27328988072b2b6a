#include "echowatch/monitor/form1.h"
#include "echowatch/monitor/history_actions.h"

#include "echowatch/net/icmp_echo_library.h"
#include "echowatch/net/probe_helper_location.h"
#include "echowatch/net/sockets_library.h"
#include "echowatch/platform/clock.h"
#include "echowatch/platform/qt_message_box.h"
#include "echowatch/probe/module1.h"

#include <QApplication>
#include <QDirIterator>
#include <QIcon>

namespace {

// The icon theme's where one is installed, else the one built in (rendered
// in every size from the same drawing).
QIcon applicationIcon()
{
    QIcon builtIn;
    QDirIterator files(QStringLiteral(":/icons"), QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext())
        builtIn.addFile(files.next());
    return QIcon::fromTheme(QStringLiteral(ECHOWATCH_APPLICATION_ID), builtIn);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    // Lets the desktop match the window to its entry, whose name is the id.
    QGuiApplication::setDesktopFileName(QStringLiteral(ECHOWATCH_APPLICATION_ID));
    QApplication::setWindowIcon(applicationIcon());

    net::LinuxSocketsLibrary sockets;
    net::LinuxIcmpEchoLibrary icmp(net::SocketKindChoice::Automatic, net::probeHelperPath());
    platform::QtMessageBox messageBox;
    Module1 probe(sockets, icmp, messageBox);
    platform::SystemClock clock;

    Form1 window(probe, messageBox, clock);
    new HistoryActions(window); // owned by the window
    messageBox.setOwner(&window);
    window.show();
    return application.exec();
}
