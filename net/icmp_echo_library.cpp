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

// Handles the library keeps are handed back, not destroyed.
void keepHelperHandle(IcmpEchoHandle &) noexcept {}

void closeSocketHandle(IcmpEchoHandle &handle) noexcept
{
    static_cast<LinuxIcmpEchoHandle &>(handle).close();
}

} // namespace

LinuxIcmpEchoLibrary::LinuxIcmpEchoLibrary(SocketKindChoice choice, std::string helperPath,
                                           SocketCalls *calls)
    : m_choice(choice), m_identifier(randomWord()), m_nextSequence(randomWord()),
      m_helper(std::move(helperPath)), m_calls(calls != nullptr ? *calls : m_systemCalls),
      m_helperHandle(std::make_unique<HelperEchoHandle>(m_helper))
{}

LinuxIcmpEchoLibrary::~LinuxIcmpEchoLibrary() = default;

IcmpHandleOpening LinuxIcmpEchoLibrary::openHelperHandle() noexcept
{
    m_helperServed = true;
    return {IcmpHandle(m_helperHandle.get(), IcmpHandleCloser(keepHelperHandle)),
            IpStatus::Success};
}

// The kept handle serves while it is not out; a second one open at the same
// time is made for the occasion.
IcmpHandleOpening LinuxIcmpEchoLibrary::openSocketHandle(IcmpSocket socket) noexcept
{
    if (!m_socketHandle)
        m_socketHandle.reset(new (std::nothrow)
                                 LinuxIcmpEchoHandle(m_identifier, m_nextSequence, m_calls));
    if (m_socketHandle && !m_socketHandle->isOpen()) {
        m_socketHandle->open(std::move(socket));
        return {IcmpHandle(m_socketHandle.get(), IcmpHandleCloser(closeSocketHandle)),
                IpStatus::Success};
    }
    auto *handle = new (std::nothrow) LinuxIcmpEchoHandle(m_identifier, m_nextSequence, m_calls);
    if (handle == nullptr)
        return {nullptr, IpStatus::NoResources};
    handle->open(std::move(socket));
    return {IcmpHandle(handle), IpStatus::Success};
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
    return openSocketHandle(std::move(*opening.socket));
}

} // namespace net
