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

// Probes through the helper process; the client it speaks through belongs
// to the library, so a handle costs nothing to open.
class HelperEchoHandle final : public IcmpEchoHandle
{
public:
    explicit HelperEchoHandle(ProbeHelperClient &helper) noexcept : m_helper(helper) {}

    std::uint32_t IcmpSendEcho(std::uint32_t destination, std::span<const std::byte> requestData,
                               std::span<std::byte> replyBuffer,
                               std::chrono::milliseconds timeout) noexcept override
    {
        return m_helper.echo(destination, requestData, replyBuffer, timeout);
    }

private:
    ProbeHelperClient &m_helper;
};

} // namespace

LinuxIcmpEchoLibrary::LinuxIcmpEchoLibrary(SocketKindChoice choice, std::string helperPath)
    : m_choice(choice), m_identifier(randomWord()), m_nextSequence(randomWord()),
      m_helper(std::move(helperPath))
{}

IcmpHandleOpening LinuxIcmpEchoLibrary::openHelperHandle() noexcept
{
    m_helperServed = true;
    auto *handle = new (std::nothrow) HelperEchoHandle(m_helper);
    if (handle == nullptr)
        return {nullptr, IpStatus::NoResources};
    return {std::unique_ptr<IcmpEchoHandle>(handle), IpStatus::Success};
}

// Asking for a refused ping socket makes the kernel build and tear down a
// socket at every probe; once the helper has served, go straight to it.
IcmpHandleOpening LinuxIcmpEchoLibrary::IcmpCreateFile() noexcept
{
    if (m_choice == SocketKindChoice::HelperOnly ||
        (m_choice == SocketKindChoice::Automatic && m_helperServed))
        return openHelperHandle();
    auto opening = IcmpSocket::open(m_choice);
    if (!opening.socket) {
        if (m_choice == SocketKindChoice::Automatic && opening.datagramRefused)
            return openHelperHandle();
        return {nullptr, opening.failureStatus};
    }
    auto *handle = new (std::nothrow)
        LinuxIcmpEchoHandle(std::move(*opening.socket), m_identifier, m_nextSequence);
    if (handle == nullptr)
        return {nullptr, IpStatus::NoResources};
    return {std::unique_ptr<IcmpEchoHandle>(handle), IpStatus::Success};
}

} // namespace net
