#include "icmp_echo_library.h"

#include "ip_status.h"
#include "linux_icmp_echo_handle.h"

#include <new>
#include <random>

namespace platform {
namespace {

// Raw sockets share the identifier space with every other pinger on the
// host; a random start keeps two instances of this program apart.
std::uint16_t randomWord()
{
    return static_cast<std::uint16_t>(std::random_device{}());
}

} // namespace

LinuxIcmpEchoLibrary::LinuxIcmpEchoLibrary(SocketKindChoice choice)
    : m_choice(choice), m_identifier(randomWord()), m_nextSequence(randomWord())
{
}

IcmpHandleOpening LinuxIcmpEchoLibrary::IcmpCreateFile() noexcept
{
    auto opening = IcmpSocket::open(m_choice);
    if (!opening.socket)
        return {nullptr, opening.failureStatus};
    auto *handle = new (std::nothrow)
        LinuxIcmpEchoHandle(std::move(*opening.socket), m_identifier, m_nextSequence);
    if (handle == nullptr)
        return {nullptr, IpStatus::NoResources};
    return {std::unique_ptr<IcmpEchoHandle>(handle), IpStatus::Success};
}

} // namespace platform
