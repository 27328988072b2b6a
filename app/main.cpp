#include "echowatch/app/application.h"
#include "echowatch/app/command_line.h"
#include "echowatch/app/headless_application.h"
#include "echowatch/app/platform_start.h"
#include "echowatch/app/system_services.h"
#include "echowatch/window/form1.h"

#include "echowatch/net/descriptor_room.h"

#include <QApplication>
#include <QDirIterator>
#include <QIcon>

#include <optional>

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
    // Read before QApplication exists, so that --help, --version and a bad
    // option need no display.
    const app::CommandLine commandLine = app::readCommandLine(argc, argv, ECHOWATCH_VERSION);
    if (commandLine.exit)
        return app::finish(*commandLine.exit);
    net::raiseDescriptorLimit();
    if (commandLine.options.headless)
        return app::runHeadless(argc, argv, commandLine.options);

    std::optional<app::PlatformStartCheck> platformCheck(
        std::in_place, QCoreApplication::applicationName(),
        app::requestedPlatform(commandLine.options));
    QApplication application(argc, argv);
    platformCheck.reset();
    // Lets the desktop match the window to its entry, whose name is the id.
    QGuiApplication::setDesktopFileName(QStringLiteral(ECHOWATCH_APPLICATION_ID));
    QApplication::setWindowIcon(applicationIcon());

    app::SystemServices system(QStringLiteral(ECHOWATCH_APPLICATION_ID));
    app::Application program(system.services(), commandLine.options);
    system.setWindow(&program.window());
    program.open();
    return application.exec();
}
