#include "echowatch/app/system_services.h"

#include "echowatch/helper/probe_helper_location.h"
#include "echowatch/platform/application_title.h"
#include "echowatch/platform/qt_text.h"
#include "echowatch/route/kernel_view.h"

namespace app {

SystemServices::SystemServices(const QString &applicationId)
    : m_icmp(helper::probeHelperPath()),
      m_notifications(platform::qtText(platform::ApplicationTitle), applicationId)
{}

// The path is traced over an echo service of its own, on a thread of its
// own: the window's is for the window's probes alone.
Services SystemServices::services()
{
    return {
        m_sockets,
        m_icmp,
        m_messageBox,
        m_clock,
        m_notifications,
        [] { return std::make_unique<helper::AutomaticEchoLibrary>(helper::probeHelperPath()); },
        true,
        true,
        true,
        route::lookUpRoute,
        [this] {
            return m_network.saysOffline();
        }};
}

} // namespace app
