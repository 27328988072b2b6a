#pragma once

#include "platform/icmp_echo_library.h"
#include "platform/message_box.h"
#include "platform/sockets_library.h"
#include "probe/module1.h"

// The probe as the program builds it, minus a user to show boxes to.
class QuietMessageBox final : public platform::MessageBox
{
public:
    void show(std::string_view, platform::MessageIcon) noexcept override {}
};

struct RealProbe
{
    platform::LinuxSocketsLibrary sockets;
    platform::LinuxIcmpEchoLibrary icmp;
    QuietMessageBox messageBox;
    Module1 module{sockets, icmp, messageBox};
};
