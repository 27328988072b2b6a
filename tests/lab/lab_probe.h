#pragma once

#include "platform/icmp_echo_library.h"
#include "platform/message_box.h"
#include "platform/sockets_library.h"
#include "probe/echo_reply.h"
#include "probe/echo_status.h"
#include "probe/module1.h"

#include <chrono>
#include <string_view>

// The real probe, pinned to one kind of socket, as the lab's tests call it.
namespace lab {

// 32 bytes, like every probe the program sends.
inline constexpr std::u16string_view RequestData = u"12345678912345678912345678912345";

struct ProbeOutcome
{
    EchoStatus status;
    EchoReply reply;
    std::chrono::steady_clock::duration took;
};

class LabProbe
{
public:
    explicit LabProbe(platform::SocketKindChoice kind);

    ProbeOutcome echo(std::string_view address);

private:
    class SilentMessageBox final : public platform::MessageBox
    {
    public:
        void show(std::string_view, platform::MessageIcon) noexcept override {}
    };

    platform::LinuxSocketsLibrary m_sockets;
    platform::LinuxIcmpEchoLibrary m_icmp;
    SilentMessageBox m_messageBox;
    Module1 m_module;
};

const char *socketKindName(platform::SocketKindChoice kind);

} // namespace lab
