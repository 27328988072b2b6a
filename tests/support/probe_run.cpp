#include "support/probe_run.h"

#include "echowatch/net/icmp_echo_library.h"
#include "echowatch/net/sockets_library.h"
#include "echowatch/probe/module1.h"
#include "support/fake_services.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string_view>

namespace {

constexpr std::u16string_view Payload = u"12345678912345678912345678912345";

std::u16string widen(const char *text)
{
    return std::u16string(text, text + std::strlen(text));
}

} // namespace

ProbeRun probeOnce(const char *address, net::SocketKindChoice kinds)
{
    net::LinuxSocketsLibrary sockets;
    net::LinuxIcmpEchoLibrary icmp(kinds);
    fakes::MessageBox messageBox;
    Module1 module(sockets, icmp, messageBox);

    EchoReply reply{};
    const auto start = std::chrono::steady_clock::now();
    const EchoStatus status = module.EchoAddress(widen(address), Payload, reply);
    const auto elapsed = std::chrono::steady_clock::now() - start;

    ProbeRun run{};
    run.status = status;
    run.roundTripTime = reply.header.roundTripTime;
    run.dataSize = reply.header.dataSize;
    run.payloadEchoed = std::equal(Payload.begin(), Payload.end(), reply.data.begin(),
                                   [](char16_t c, std::byte b) { return c == char16_t(b); });
    const auto bytes = std::as_bytes(std::span(&reply, 1));
    run.recordAllZero =
        std::all_of(bytes.begin(), bytes.end(), [](std::byte b) { return b == std::byte{}; });
    run.elapsedMilliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    return run;
}

ProbeRun setupFailure(const std::string &error)
{
    ProbeRun run{};
    std::strncpy(run.setupError, error.c_str(), sizeof run.setupError - 1);
    return run;
}
