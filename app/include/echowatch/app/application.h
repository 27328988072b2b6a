#pragma once

#include "echowatch/app/command_line.h"
#include "echowatch/app/host_naming.h"
#include "echowatch/app/records_setup.h"
#include "echowatch/path_view/path_worker.h"

#include <functional>
#include <memory>

class Form1;

namespace alerts {
class AlertSettings;
class HostActions;
class HostAlerts;
} // namespace alerts
namespace history_view {
class HistoryActions;
class HistoryFile;
class ProbeHistory;
} // namespace history_view
namespace net {
class IcmpEchoLibrary;
class SocketsLibrary;
} // namespace net
namespace path_view {
class PathActions;
class TraceOnDown;
} // namespace path_view
namespace platform {
class Clock;
class Notifications;
class SleepWatch;
} // namespace platform
namespace probe {
class MessageBox;
} // namespace probe
namespace window {
class ProbeRunner;
} // namespace window

namespace app {

class MetricsServer;
class TerminationSignals;
class WindowWatch;

// What the program runs on: the system's own services, or a test's fakes.
// Each must outlive the application.
struct Services
{
    net::SocketsLibrary &sockets;
    net::IcmpEchoLibrary &icmp;
    probe::MessageBox &messageBox;
    const platform::Clock &clock;
    platform::Notifications &notifications;
    // The echo service of the Path window and of the trace at the down,
    // made on their own threads.
    path_view::EchoLibraryFactory pathEchoLibrary;
    // On a worker thread as the program runs them, or on the caller's, so
    // that a test steps them tick by tick.
    bool probesOnWorker = true;
    // Whether the machine's sleep is listened for on the system bus.
    bool watchSleep = true;
    // Whether SIGTERM and SIGINT close the window, as the user would.
    bool closeOnSignals = false;
    // What an outage's class is judged from beside its trace: the kernel's
    // way to the host (asked on the trace's thread) and whether the
    // desktop says it is offline (read on the window's). Left empty, each
    // says nothing.
    path_view::RouteLookup routes = {};
    std::function<bool()> desktopOffline = {};
};

// The whole program: the window, its probes, the host monitor between them
// and every feature, as the options ask. main() builds it over the
// system's services; a test builds it over fakes and drives whole
// scenarios through it. Closing the window ends every watch (as closed),
// and destroying the application ends the features after it: the last
// commit of the history file, the commands still running.
class Application
{
public:
    Application(const Services &services, LaunchOptions options);
    ~Application();
    Application(const Application &) = delete;
    Application &operator=(const Application &) = delete;

    // Shows the window with the options applied, once a host name given on
    // the command line has its address (a name that has none ends the
    // event loop with status 2).
    void open();

    Form1 &window() const noexcept { return *m_window; }
    WindowWatch &watch() const noexcept { return *m_watch; }
    history_view::ProbeHistory &history() const noexcept { return *m_history; }
    history_view::HistoryActions &historyActions() const noexcept { return *m_historyActions; }
    history_view::HistoryFile &historyFile() const noexcept { return *m_historyFile; }
    alerts::HostAlerts &alerts() const noexcept { return *m_alerts; }
    alerts::AlertSettings &alertSettings() const noexcept { return *m_alertSettings; }
    path_view::PathActions &pathActions() const noexcept { return *m_pathActions; }
    path_view::TraceOnDown &traceOnDown() const noexcept { return *m_traceOnDown; }
    // What the command line asked for, none where it did not.
    MetricsServer *metrics() const noexcept { return m_records.metrics; }
    alerts::HostActions *commands() const noexcept { return m_records.commands; }
    platform::SleepWatch *sleepWatch() const noexcept { return m_sleep.get(); }

private:
    void buildFeatures();
    void buildPathFeatures();
    void listenForSleep();
    void applyOptions();
    void openOnceNamed();

    const Services m_services;
    const LaunchOptions m_options;
    // Filled in once a name given on the command line has its address.
    HostNaming m_naming;
    std::unique_ptr<window::ProbeRunner> m_probes;
    std::unique_ptr<Form1> m_window;
    // Owned by the window, as every feature is.
    WindowWatch *m_watch = nullptr;
    history_view::ProbeHistory *m_history = nullptr;
    history_view::HistoryActions *m_historyActions = nullptr;
    history_view::HistoryFile *m_historyFile = nullptr;
    alerts::HostAlerts *m_alerts = nullptr;
    alerts::AlertSettings *m_alertSettings = nullptr;
    path_view::PathActions *m_pathActions = nullptr;
    path_view::TraceOnDown *m_traceOnDown = nullptr;
    AttachedRecords m_records;
    std::unique_ptr<platform::SleepWatch> m_sleep;
    std::unique_ptr<TerminationSignals> m_signals;
};

} // namespace app
