#pragma once

class Form1;

namespace alerts {
struct HostNaming;
} // namespace alerts

namespace app {

struct LaunchOptions;

// The live log, the metrics server and the commands on down and up, each only
// where the command line asks for it; with none asked, nothing is added and
// nothing is opened, served or run. naming must outlive the window.
void attachRecords(Form1 &window, const LaunchOptions &options, const alerts::HostNaming &naming);

} // namespace app
