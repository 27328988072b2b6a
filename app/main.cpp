#include "echowatch/alerts/host_alerts.h"
#include "echowatch/alerts/host_naming.h"
#include "echowatch/alerts/icon_mark.h"
#include "echowatch/app/command_line.h"
#include "echowatch/app/launch_resolution.h"
#include "echowatch/app/platform_start.h"
#include "echowatch/app/records_setup.h"
#include "echowatch/history_view/history_actions.h"
#include "echowatch/history_view/history_file.h"
#include "echowatch/history_view/probe_history.h"
#include "echowatch/path_view/path_actions.h"
#include "echowatch/path_view/trace_on_down.h"
#include "echowatch/window/form1.h"
#include "echowatch/window/log_actions.h"
#include "echowatch/window/status_explanation.h"
#include "echowatch/window/threaded_probe_runner.h"

#include "echowatch/helper/automatic_echo_library.h"
#include "echowatch/helper/probe_helper_location.h"
#include "echowatch/net/descriptor_room.h"
#include "echowatch/net/sockets_library.h"
#include "echowatch/platform/application_title.h"
#include "echowatch/platform/clock.h"
#include "echowatch/platform/desktop_notifications.h"
#include "echowatch/platform/qt_message_box.h"
#include "echowatch/platform/qt_text.h"

#include <QApplication>
#include <QDirIterator>
#include <QIcon>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

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

// Read before QApplication exists, so that --help, --version and a bad
// option need no display.
app::CommandLine readCommandLine(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("echowatch"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ECHOWATCH_VERSION));
    QStringList arguments;
    for (int index = 0; index < argc; ++index)
        arguments << QString::fromLocal8Bit(argv[index]);
    return app::parseCommandLine(arguments);
}

int finish(const app::CommandLineExit &exit)
{
    std::FILE *stream = exit.stream == app::CommandLineExit::Stream::Output ? stdout : stderr;
    std::fputs(exit.text.toLocal8Bit().constData(), stream);
    return exit.status;
}

// As if the user had typed into the boxes and then pressed Start, once the
// window is up, so that a bad interval gets the button's own message box.
void applyOptions(Form1 &window, alerts::HostAlerts &alerts, const app::LaunchOptions &options)
{
    if (options.address)
        window.Text1->setText(*options.address);
    if (options.interval)
        window.Text2->setText(*options.interval);
    if (options.notify && !alerts.switchOn())
        std::fputs("echowatch: warning: --notify: no notification service answers on the "
                   "session bus; the window runs without notifications\n",
                   stderr);
    else if (options.sound)
        alerts.soundAction()->setChecked(true);
    if (options.start)
        QTimer::singleShot(0, window.Command1, &QPushButton::click);
}

// The window opens once the host's name has an address; a name that has
// none ends the program as a bad option does.
void openOnceNamed(Form1 &window, alerts::HostAlerts &alerts, const app::LaunchOptions &options,
                   alerts::HostNaming &naming)
{
    auto *resolution = new app::LaunchResolution(*options.hostName, &window);
    QObject::connect(resolution, &app::LaunchResolution::resolved, &window,
                     [&window, &alerts, &options, &naming, resolution](const QString &name,
                                                                       const QString &address) {
                         naming = {name, address};
                         app::LaunchOptions named = options;
                         named.address = address;
                         applyOptions(window, alerts, named);
                         window.show();
                         resolution->deleteLater();
                     });
    QObject::connect(resolution, &app::LaunchResolution::failed, &window,
                     [](const QString &name, const QString &message) {
                         const QString line = QCoreApplication::applicationName() +
                                              QStringLiteral(": ") + name + QStringLiteral(": ") +
                                              message + QLatin1Char('\n');
                         std::fputs(line.toLocal8Bit().constData(), stderr);
                         QCoreApplication::exit(2);
                     });
    resolution->start();
}

// The platform Qt is asked for, as QApplication picks it: its option first,
// then the environment.
std::optional<QString> requestedPlatform(const app::LaunchOptions &options)
{
    if (options.platform)
        return options.platform;
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        return qEnvironmentVariable("QT_QPA_PLATFORM");
    return std::nullopt;
}

// A trace's verdict goes with its outage: into the record the History
// window shows, into the history file when one is kept; and the outage's
// row opens the trace as it was.
void keepVerdicts(const path_view::TraceOnDown &traces, history_view::ProbeHistory &history,
                  history_view::HistoryFile &file, const history_view::HistoryActions &views,
                  path_view::PathActions &paths)
{
    QObject::connect(&traces, &path_view::TraceOnDown::verdictKept, &history,
                     &history_view::ProbeHistory::noteWhere);
    QObject::connect(&traces, &path_view::TraceOnDown::verdictKept, &file,
                     &history_view::HistoryFile::notePathVerdict);
    QObject::connect(&views, &history_view::HistoryActions::traceAsked, &paths,
                     [&traces, &paths](quint32 address, qint64 outageStart) {
                         if (const auto *verdict = traces.verdictFor(address, outageStart))
                             paths.showTrace(*verdict);
                     });
}

} // namespace

int main(int argc, char *argv[])
{
    const app::CommandLine commandLine = readCommandLine(argc, argv);
    if (commandLine.exit)
        return finish(*commandLine.exit);
    net::raiseDescriptorLimit();

    std::optional<app::PlatformStartCheck> platformCheck(
        std::in_place, QCoreApplication::applicationName(), requestedPlatform(commandLine.options));
    QApplication application(argc, argv);
    platformCheck.reset();
    // Lets the desktop match the window to its entry, whose name is the id.
    QGuiApplication::setDesktopFileName(QStringLiteral(ECHOWATCH_APPLICATION_ID));
    QApplication::setWindowIcon(applicationIcon());

    net::LinuxSocketsLibrary sockets;
    helper::AutomaticEchoLibrary icmp(helper::probeHelperPath());
    platform::QtMessageBox messageBox;
    // Declared after the services it uses and before the window, so that it
    // ends its thread after the window has gone and before they go.
    window::ThreadedProbeRunner probes(sockets, icmp);
    platform::SystemClock clock;
    platform::DesktopNotifications notifications(platform::qtText(platform::ApplicationTitle),
                                                 QStringLiteral(ECHOWATCH_APPLICATION_ID));

    // Filled in once a name given on the command line has its address; read
    // by the window's features, so it outlives the window.
    alerts::HostNaming naming;
    Form1 window(probes, messageBox, clock);
    messageBox.setOwner(&window);
    // Each owned by the window, and seen by it only through its signals and
    // its context menu.
    window::explainStatusLine(window);
    new window::LogActions(window);
    auto *probeHistory = new history_view::ProbeHistory(window);
    auto *historyActions = new history_view::HistoryActions(
        window, *probeHistory, [&naming](const QString &address) { return naming.label(address); });
    auto *historyFile =
        new history_view::HistoryFile(window, *probeHistory, commandLine.options.keepDays);
    if (commandLine.options.historyFile)
        historyFile->keepIn(*commandLine.options.historyFile);
    auto *hostAlerts = new alerts::HostAlerts(window, notifications, commandLine.options.downAfter);
    new alerts::IconMark(window);
    // The path is traced over an echo service of its own, on a thread of its
    // own: the window's is for the window's thread alone.
    const path_view::EchoLibraryFactory pathEchoLibrary = [] {
        return std::make_unique<helper::AutomaticEchoLibrary>(helper::probeHelperPath());
    };
    auto *pathActions = new path_view::PathActions(window, pathEchoLibrary);
    auto *traceOnDown =
        new path_view::TraceOnDown(window, pathEchoLibrary, commandLine.options.downAfter);
    traceOnDown->action()->setChecked(commandLine.options.traceOnDown);
    QObject::connect(traceOnDown, &path_view::TraceOnDown::verdictReady, hostAlerts,
                     &alerts::HostAlerts::tellWhere);
    keepVerdicts(*traceOnDown, *probeHistory, *historyFile, *historyActions, *pathActions);
    hostAlerts->setNaming(&naming);
    app::attachRecords(window, commandLine.options, naming);
    if (commandLine.options.hostName) {
        openOnceNamed(window, *hostAlerts, commandLine.options, naming);
    } else {
        applyOptions(window, *hostAlerts, commandLine.options);
        window.show();
    }
    return application.exec();
}
