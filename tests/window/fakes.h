#pragma once

#include "echowatch/monitor/form1.h"
#include "echowatch/net/icmp_echo_library.h"
#include "echowatch/net/sockets_library.h"
#include "echowatch/platform/clock.h"
#include "echowatch/probe/echo_status.h"
#include "echowatch/probe/message_box.h"
#include "echowatch/probe/module1.h"

#include <QTime>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class FakeSocketsLibrary final : public net::SocketsLibrary
{
public:
    int WSAStartup(std::uint16_t, std::span<std::byte>) noexcept override;
    int WSACleanup() noexcept override;

    int startResult = 0;
    int cleanupResult = 0;
    int starts = 0;
    int cleanups = 0;
};

// What the echo service reports for every request until told otherwise.
struct ScriptedEcho
{
    EchoStatus status;
    std::uint32_t roundTripTime;
    std::uint16_t dataSize;
};

class FakeIcmpEchoLibrary final : public net::IcmpEchoLibrary
{
public:
    net::IcmpHandleOpening IcmpCreateFile() noexcept override;

    ScriptedEcho echo{0, 12, 32};
    int sends = 0;
    std::uint32_t lastDestination = 0;
    std::string lastRequestData;
};

class FakeMessageBox final : public probe::MessageBox
{
public:
    void show(std::string_view text, probe::MessageIcon icon) noexcept override;

    struct Shown
    {
        std::string text;
        probe::MessageIcon icon;
    };
    std::vector<Shown> shown;
    // Runs while the box is open, as if the user were taking their time.
    std::function<void()> whileOpen;
    int deepestNesting = 0;

private:
    int m_open = 0;
};

class FakeClock final : public platform::Clock
{
public:
    QTime timeOfDay() const noexcept override { return time; }

    QTime time{13, 4, 5};
};

// The real window over the real probe module, with every service scripted.
struct TestWindow
{
    FakeSocketsLibrary sockets;
    FakeIcmpEchoLibrary icmp;
    FakeMessageBox messageBox;
    FakeClock clock;
    Module1 probe{sockets, icmp, messageBox};
    Form1 window{probe, messageBox, clock};

    int logLines() const;
    QString logLine(int row) const;
};
