#pragma once

#include "echowatch/net/icmp_echo_library.h"
#include "echowatch/net/sockets_library.h"
#include "echowatch/probe/message_box.h"
#include "echowatch/probe/module1.h"

// The probe as the program builds it, minus a user to show boxes to.
class QuietMessageBox final : public probe::MessageBox
{
public:
    void show(std::string_view, probe::MessageIcon) noexcept override {}
};

struct RealProbe
{
    net::LinuxSocketsLibrary sockets;
    net::LinuxIcmpEchoLibrary icmp;
    QuietMessageBox messageBox;
    Module1 module{sockets, icmp, messageBox};
};
