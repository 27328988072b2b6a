#include "echowatch/net/icmp_echo_library.h"

#include "echowatch/icmp/errno_status.h"
#include "echowatch/icmp/ip_status.h"
#include "echowatch/net/icmp_echo_reply.h"
#include "echowatch/net/icmp_reply_writer.h"
#include "echowatch/net/linux_icmp_echo_handle.h"

#include <chrono>
#include <sys/random.h>
#include <unistd.h>

namespace net {

// No file is opened for it, so it works when descriptors have run out.
std::uint16_t randomIdentifier() noexcept
{
    std::uint16_t word = 0;
    if (::getrandom(&word, sizeof word, GRND_NONBLOCK) == sizeof word)
        return word;
    const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    return static_cast<std::uint16_t>(ticks ^ ::getpid());
}

std::uint32_t IcmpEchoHandle::IcmpSendEcho(std::uint32_t destination,
                                           std::span<const std::byte> requestData,
                                           std::span<std::byte> replyBuffer,
                                           std::chrono::milliseconds timeout) noexcept
{
    EchoOutcome outcome;
    return IcmpSendEcho(destination, requestData, replyBuffer, timeout, outcome);
}

std::uint32_t IcmpEchoHandle::IcmpSendEcho(std::uint32_t destination,
                                           std::span<const std::byte> requestData,
                                           std::span<std::byte> replyBuffer,
                                           std::chrono::milliseconds timeout,
                                           EchoOutcome &outcome) noexcept
{
    // Without room for the record nothing is sent, as nothing could be told.
    if (replyBuffer.size() < sizeof(IcmpEchoReply))
        return 0;
    outcome = echo(destination, requestData, timeout);
    return writeEchoRecord(replyBuffer, outcome);
}

void keepLentHandle(IcmpEchoHandle &) noexcept {}

LinuxIcmpEchoLibrary::LinuxIcmpEchoLibrary(IcmpSocketKind kind, SocketCalls *calls)
    : m_kind(kind), m_reopens(true), m_nextSequence(randomIdentifier()),
      m_handle(std::make_unique<LinuxIcmpEchoHandle>(m_nextSequence,
                                                     calls != nullptr ? *calls : m_systemCalls))
{}

LinuxIcmpEchoLibrary::LinuxIcmpEchoLibrary(IcmpSocket socket, SocketCalls *calls)
    : LinuxIcmpEchoLibrary(socket.kind(), calls)
{
    m_reopens = false;
    m_handle->open(std::move(socket));
}

LinuxIcmpEchoLibrary::~LinuxIcmpEchoLibrary() = default;

bool LinuxIcmpEchoLibrary::hasSocket() const noexcept
{
    return m_handle->isOpen();
}

IcmpEchoFlight &LinuxIcmpEchoLibrary::flight() noexcept
{
    return m_handle->linuxFlight();
}

// Probes go one at a time, so every holder of a handle can share the one
// socket: each probe clears what earlier ones left before it sends.
IcmpHandleOpening LinuxIcmpEchoLibrary::IcmpCreateFile() noexcept
{
    if (!m_handle->isOpen()) {
        if (!m_reopens)
            return {nullptr, icmp::IpStatus::GeneralFailure};
        auto opening = IcmpSocket::open(m_kind, randomIdentifier());
        if (!opening.socket)
            return {nullptr, opening.failureStatus,
                    m_kind == IcmpSocketKind::Datagram &&
                        icmp::datagramSocketRefused(opening.error)};
        m_handle->open(std::move(*opening.socket));
    }
    return {IcmpHandle(m_handle.get(), IcmpHandleCloser(keepLentHandle)), icmp::IpStatus::Success};
}

} // namespace net
