#pragma once

#include <functional>

class QObject;

namespace alerts {
class HostActions;
} // namespace alerts
namespace host {
class HostEventSignals;
} // namespace host

namespace app {

struct LaunchOptions;
class LiveLogWriter;
class MetricsServer;

// What was attached, each owned by the owner (the server and the log by
// their threads); none where not asked for.
struct AttachedRecords
{
    MetricsServer *metrics = nullptr;
    alerts::HostActions *commands = nullptr;
    LiveLogWriter *log = nullptr;
};

// Who the records are attached to: the window, which goes on without
// metrics it cannot serve, or the headless prober, for which they are the
// point and which handles their failure itself. The headless prober starts
// the server (listenForScrapes) once it has connected to what the server
// says: started here, its thread could say it listens or failed before
// anyone heard.
enum class RecordsOwner
{
    Window,
    Headless,
};

// The live log, the metrics server and the commands on down, up, slow and
// normal, each only where the command line asks for it, fed by the host
// monitor's events; with none asked, nothing is added and nothing is
// opened, served or run.
// tracing tells, at a down, whether a trace of the path was asked for, whose
// verdict the down command then waits for. events must outlive the owner.
AttachedRecords attachRecords(QObject &owner, const host::HostEventSignals &events,
                              const LaunchOptions &options, std::function<bool()> tracing = {},
                              RecordsOwner who = RecordsOwner::Window);

// Binds the metrics server's port, on its thread; it says listening or
// failed.
void listenForScrapes(MetricsServer &server);

} // namespace app
