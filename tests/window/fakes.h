#pragma once

#include "monitor/form1.h"
#include "platform/clock.h"
#include "platform/icmp_echo_library.h"
#include "platform/message_box.h"
#include "platform/sockets_library.h"
#include "probe/echo_status.h"
#include "probe/module1.h"

#include <QTime>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class FakeSocketsLibrary final : public platform::SocketsLibrary
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

class FakeIcmpEchoLibrary final : public platform::IcmpEchoLibrary
{
public:
    platform::IcmpHandleOpening IcmpCreateFile() noexcept override;

    ScriptedEcho echo{0, 12, 32};
    int sends = 0;
    std::uint32_t lastDestination = 0;
    std::string lastRequestData;
};

class FakeMessageBox final : public platform::MessageBox
{
public:
    void show(std::string_view text, platform::MessageIcon icon) noexcept override;

    struct Shown
    {
        std::string text;
        platform::MessageIcon icon;
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
