#pragma once

#include "echowatch/helper/automatic_echo_library.h"
#include "echowatch/net/icmp_echo_library.h"
#include "echowatch/net/sockets_library.h"
#include "echowatch/probe/module1.h"
#include "support/fake_services.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

struct ProbeOutcome
{
    EchoStatus status;
    EchoReply reply;
    std::chrono::steady_clock::duration took;
};

// The probe as the program assembles it: the real sockets library and echo
// service, with the probe helper of this build, and a box that only records
// in place of a user.
struct RealProbe
{
    // calls: the system calls the wait for an answer makes, for a test that
    // makes them fail; the real ones when null.
    explicit RealProbe(helper::SocketKindChoice kinds = helper::SocketKindChoice::Automatic,
                       std::string helperPath = builtHelperPath(),
                       net::SocketCalls *calls = nullptr);

    // The probe helper this build made.
    static std::string builtHelperPath();
    RealProbe(const RealProbe &) = delete;
    RealProbe &operator=(const RealProbe &) = delete;

    // One probe carrying TestPayload, timed around the call alone.
    ProbeOutcome echo(std::u16string_view address);
    ProbeOutcome echo(std::string_view address);

    net::LinuxSocketsLibrary sockets;
    std::unique_ptr<net::IcmpEchoLibrary> icmp;
    fakes::MessageBox messageBox;
    Module1 module{sockets, *icmp, messageBox};
};

// One real probe, summed up in a form that crosses a process boundary.
struct ProbeRun
{
    std::int32_t status;
    std::uint32_t roundTripTime;
    std::uint16_t dataSize;
    bool payloadEchoed;
    std::int64_t elapsedMilliseconds;
    char setupError[160];
};

ProbeRun probeOnce(const char *address, helper::SocketKindChoice kinds);

// One real probe in a forked child, once prepare has changed the child's
// world (a namespace, a user, a limit); prepare returns an error text, empty
// on success. Any failure to get there is in the run's setupError.
ProbeRun probeInChild(const std::function<std::string()> &prepare, const char *address,
                      helper::SocketKindChoice kinds);
