#pragma once

#include "echowatch/helper/probe_helper_client.h"
#include "echowatch/net/icmp_echo_library.h"

#include <string>

namespace helper {

// The echo service through the probe helper: every handle it opens is the
// same light object over its one client, lent out and handed back.
class ProbeHelperLibrary final : public net::IcmpEchoLibrary
{
public:
    explicit ProbeHelperLibrary(std::string helperPath);
    explicit ProbeHelperLibrary(HelperSocket served);
    ~ProbeHelperLibrary() override;

    net::IcmpHandleOpening IcmpCreateFile() noexcept override;

    const ProbeHelperClient &client() const noexcept { return m_client; }

private:
    class Handle;

    ProbeHelperClient m_client;
    std::unique_ptr<Handle> m_handle;
};

} // namespace helper
