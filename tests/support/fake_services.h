#pragma once

#include "echowatch/net/icmp_echo_library.h"
#include "echowatch/net/sockets_library.h"
#include "echowatch/probe/message_box.h"

#include <cstddef>
#include <cstdint>
#include <functional>
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
    std::vector<std::string> calls;
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
    std::function<void()> whileOpen;
};

// An echo service whose outcome the test writes: each send hands the reply
// buffer to the script.
class IcmpEchoLibrary final : public net::IcmpEchoLibrary
{
public:
    struct Send
    {
        std::uint32_t destination;
        std::vector<std::byte> data;
        std::size_t replySize;
        std::chrono::milliseconds timeout;
    };
    using Script = std::function<void(std::span<std::byte> replyBuffer)>;

    net::IcmpHandleOpening IcmpCreateFile() noexcept override;

    std::int32_t openFailure = 0; // non-zero: no handle, this status
    Script script;
    int opened = 0;
    int closed = 0;
    std::vector<Send> sends;
};

} // namespace fakes
