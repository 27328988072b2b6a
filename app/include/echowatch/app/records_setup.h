#pragma once

#include <functional>

class Form1;

namespace alerts {
class HostActions;
} // namespace alerts
namespace host {
class HostEventSignals;
} // namespace host

namespace app {

struct LaunchOptions;
class MetricsServer;

// What was attached, each owned by the window (the server by its thread);
// none where not asked for.
struct AttachedRecords
{
    MetricsServer *metrics = nullptr;
    alerts::HostActions *commands = nullptr;
};

// The live log, the metrics server and the commands on down, up, slow and
// normal, each only where the command line asks for it, fed by the host
// monitor's events; with none asked, nothing is added and nothing is
// opened, served or run.
// tracing tells, at a down, whether a trace of the path was asked for, whose
// verdict the down command then waits for. events must outlive the window.
AttachedRecords attachRecords(Form1 &window, const host::HostEventSignals &events,
                              const LaunchOptions &options, std::function<bool()> tracing = {});

} // namespace app
