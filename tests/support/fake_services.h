#pragma once

#include "echowatch/net/icmp_echo_library.h"
#include "echowatch/net/sockets_library.h"
#include "echowatch/probe/echo_status.h"
#include "echowatch/probe/message_box.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Stand-ins for the platform's services, so the probe and the window can be
// driven through every outcome without a network or a user.
namespace fakes {

class SocketsLibrary final : public net::SocketsLibrary
{
public:
    int WSAStartup(std::uint16_t version, std::span<std::byte> description) noexcept override;
    int WSACleanup() noexcept override;

    int startupResult = 0;
    int cleanupResult = 0;
    int starts = 0;
    int cleanups = 0;
    std::uint16_t requestedVersion = 0;
    std::vector<std::byte> descriptionSeen;
};

class MessageBox final : public probe::MessageBox
{
public:
    struct Shown
    {
        std::string text;
        probe::MessageIcon icon;
    };

    void show(std::string_view text, probe::MessageIcon icon) noexcept override;

    std::vector<Shown> shown;
    // Runs while the box is open, as if the user were taking their time.
    std::function<void()> whileOpen;
    // More than 1: a box was opened while another was still open.
    int deepestNesting = 0;

private:
    int m_open = 0;
};

// What the echo service reports for every request until told otherwise.
struct ScriptedEcho
{
    EchoStatus status;
    std::uint32_t roundTripTime;
    std::uint16_t dataSize;
};

// An echo service that records each request and reports the scripted outcome,
// which the service's own code writes into the reply record.
class IcmpEchoLibrary final : public net::IcmpEchoLibrary
{
public:
    struct Send
    {
        std::uint32_t destination;
        std::vector<std::byte> data;
        std::size_t replySize;
        std::chrono::milliseconds timeout;
        net::TimeToLive ttl;
    };

    net::IcmpHandleOpening IcmpCreateFile() noexcept override;

    std::int32_t openFailure = 0; // non-zero: no handle, this status
    ScriptedEcho echo{0, 12, 32};
    // Where set, reported instead of echo, with every typed field.
    std::optional<net::EchoOutcome> outcome;
    int opened = 0;
    int closed = 0;
    std::vector<Send> sends;
};

} // namespace fakes
