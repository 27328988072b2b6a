#pragma once

#include "echowatch/net/icmp_socket.h"
#include "echowatch/net/kernel_time.h"
#include "echowatch/net/probe_helper_client.h"
#include "echowatch/net/socket_calls.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

// The echo service: open a handle, send echo requests through it, close it by
// letting go of it. The reply lands in the caller's buffer as an IcmpEchoReply
// followed by the echoed data.
namespace net {

class IcmpEchoHandle
{
public:
    virtual ~IcmpEchoHandle() = default;

    // Sends one echo request to destination (network byte order) and waits
    // for its outcome, at most timeout. Returns the number of echo replies
    // received: 1 with status 0 in the record, or 0 with a failure status in
    // it. Whenever the buffer can hold the record, a record is written,
    // whatever happens; a buffer too small for one is left untouched, and 0
    // is returned. A caller reads status 0 as an answer only with a 1.
    virtual std::uint32_t IcmpSendEcho(std::uint32_t destination,
                                       std::span<const std::byte> requestData,
                                       std::span<std::byte> replyBuffer,
                                       std::chrono::milliseconds timeout) noexcept = 0;
};

// Closes a handle when its holder lets go of it: destroys it, or hands back
// one that its library lends out for probe after probe.
class IcmpHandleCloser
{
public:
    using HandBack = void (*)(IcmpEchoHandle &handle) noexcept;

    IcmpHandleCloser() noexcept = default;
    explicit IcmpHandleCloser(HandBack handBack) noexcept : m_handBack(handBack) {}
    // A handle made for its holder alone is destroyed, as std::unique_ptr
    // would, so one can be handed over as any std::unique_ptr of its type.
    template <typename Handle> IcmpHandleCloser(std::default_delete<Handle>) noexcept {}

    void operator()(IcmpEchoHandle *handle) const noexcept
    {
        if (m_handBack != nullptr)
            m_handBack(*handle);
        else
            delete handle;
    }

private:
    HandBack m_handBack = nullptr;
};

using IcmpHandle = std::unique_ptr<IcmpEchoHandle, IcmpHandleCloser>;

// Either a handle, or the status that says why none could be opened.
struct IcmpHandleOpening
{
    IcmpHandle handle;
    std::int32_t failureStatus;
};

class IcmpEchoLibrary
{
public:
    virtual ~IcmpEchoLibrary() = default;
    virtual IcmpHandleOpening IcmpCreateFile() noexcept = 0;
};

class LinuxIcmpEchoHandle;

// The real service over Linux ICMP sockets. Handles it opens share its
// sequence counter and its helper, and must not outlive it. It lends the
// same handle objects out for every probe, so opening one allocates nothing;
// it is not for use from two threads at once.
class LinuxIcmpEchoLibrary final : public IcmpEchoLibrary
{
public:
    // helperPath: the privileged probe helper, used where ping sockets are
    // refused; with none, such probes fail as a general failure. calls: the
    // system calls the wait for an answer makes; the real ones when null.
    explicit LinuxIcmpEchoLibrary(SocketKindChoice choice = SocketKindChoice::Automatic,
                                  std::string helperPath = {}, SocketCalls *calls = nullptr);
    ~LinuxIcmpEchoLibrary() override;
    LinuxIcmpEchoLibrary(const LinuxIcmpEchoLibrary &) = delete;
    LinuxIcmpEchoLibrary &operator=(const LinuxIcmpEchoLibrary &) = delete;

    IcmpHandleOpening IcmpCreateFile() noexcept override;

private:
    IcmpHandleOpening openHelperHandle() noexcept;
    IcmpHandleOpening openSocketHandle(IcmpSocket socket) noexcept;

    SocketKindChoice m_choice;
    bool m_helperServed = false;
    std::uint16_t m_identifier;
    std::uint16_t m_nextSequence = 1;
    ProbeHelperClient m_helper;
    SocketCalls m_systemCalls;
    SocketCalls &m_calls;
    ReceiveStampingHold m_stamping;
    std::unique_ptr<IcmpEchoHandle> m_helperHandle;
    std::unique_ptr<LinuxIcmpEchoHandle> m_socketHandle;
};

} // namespace net
