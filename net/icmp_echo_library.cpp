#include "echowatch/net/icmp_echo_library.h"

#include "echowatch/net/ip_status.h"
#include "echowatch/net/linux_icmp_echo_handle.h"

#include <chrono>
#include <new>
#include <sys/random.h>
#include <unistd.h>

namespace net {
namespace {

// Raw sockets share the identifier space with every other pinger on the
// host; a random start keeps two instances of this program apart. No file
// is opened for it, so it works when descriptors have run out.
std::uint16_t randomWord() noexcept
{
    std::uint16_t word = 0;
    if (::getrandom(&word, sizeof word, GRND_NONBLOCK) == sizeof word)
        return word;
    const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    return static_cast<std::uint16_t>(ticks ^ ::getpid());
}

} // namespace

LinuxIcmpEchoLibrary::LinuxIcmpEchoLibrary(SocketKindChoice choice) noexcept
    : m_choice(choice), m_identifier(randomWord()), m_nextSequence(randomWord())
{}

// Asking for a refused ping socket makes the kernel build and tear down a
// socket at every probe; once the raw socket has served, go straight to it.
IcmpSocketOpening LinuxIcmpEchoLibrary::openSocket() noexcept
{
    if (m_choice == SocketKindChoice::Automatic && m_rawServed) {
        auto raw = IcmpSocket::open(SocketKindChoice::RawOnly);
        if (raw.socket)
            return raw;
    }
    auto opening = IcmpSocket::open(m_choice);
    m_rawServed = opening.socket && opening.socket->kind() == IcmpSocketKind::Raw;
    return opening;
}

IcmpHandleOpening LinuxIcmpEchoLibrary::IcmpCreateFile() noexcept
{
    auto opening = openSocket();
    if (!opening.socket)
        return {nullptr, opening.failureStatus};
    auto *handle = new (std::nothrow)
        LinuxIcmpEchoHandle(std::move(*opening.socket), m_identifier, m_nextSequence);
    if (handle == nullptr)
        return {nullptr, IpStatus::NoResources};
    return {std::unique_ptr<IcmpEchoHandle>(handle), IpStatus::Success};
}

} // namespace net
