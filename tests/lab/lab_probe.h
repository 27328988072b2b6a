#pragma once

#include "echowatch/net/icmp_echo_library.h"
#include "echowatch/net/sockets_library.h"
#include "echowatch/probe/echo_reply.h"
#include "echowatch/probe/echo_status.h"
#include "echowatch/probe/message_box.h"
#include "echowatch/probe/module1.h"

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
    explicit LabProbe(net::SocketKindChoice kind);

    ProbeOutcome echo(std::string_view address);

private:
    class SilentMessageBox final : public probe::MessageBox
    {
    public:
        void show(std::string_view, probe::MessageIcon) noexcept override {}
    };

    net::LinuxSocketsLibrary m_sockets;
    net::LinuxIcmpEchoLibrary m_icmp;
    SilentMessageBox m_messageBox;
    Module1 m_module;
};

const char *socketKindName(net::SocketKindChoice kind);

} // namespace lab
