#include "echowatch/app/headless_application.h"
#include "echowatch/fleet/hosts_file.h"
#include "echowatch/fleet/prober_clock.h"
#include "echowatch/helper/automatic_echo_library.h"
#include "echowatch/helper/probe_helper_location.h"
#include "echowatch/records/host_resolution.h"
#include "echowatch/route/kernel_view.h"

#include <QCoreApplication>

namespace app {

namespace {

// A ping socket where the system opens them to the process's groups, else
// the probe helper: the service's, where one is served, or one started.
fleet::EchoLibraryFactory echoLibraries(const std::optional<QString> &helperSocket)
{
    if (helperSocket) {
        return [served = helperSocket->toStdString()] {
            return std::make_unique<helper::AutomaticEchoLibrary>(helper::HelperSocket{served});
        };
    }
    return [] { return std::make_unique<helper::AutomaticEchoLibrary>(helper::probeHelperPath()); };
}

std::optional<std::uint32_t> resolve(const std::string &name, std::string &error)
{
    const records::Resolution found = records::resolveIpv4(name);
    error = found.error;
    if (found.address.empty())
        return std::nullopt;
    return fleet::dottedAddress(found.address);
}

} // namespace

// No window toolkit at all: a core application needs no display and no bus.
int runHeadless(int argc, char *argv[], const LaunchOptions &options)
{
    QCoreApplication application(argc, argv);
    const fleet::SystemProberClock clock;
    const fleet::EchoLibraryFactory libraries = echoLibraries(options.headless->helperSocket);
    HeadlessApplication program({libraries, libraries, clock, resolve, true, route::lookUpRoute},
                                options);
    program.start();
    return QCoreApplication::exec();
}

} // namespace app
