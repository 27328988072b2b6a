// Feeds arbitrary UTF-16 text to the probe as the address box's content.
// Nothing reaches the network: the echo service is a stand-in that only
// records. What must hold: no crash, -1 leaves the record untouched, and a
// text that was accepted had an 8-bit form without NUL.
#include "echowatch/probe/module1.h"
#include "support/echo_record.h"
#include "support/fake_services.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::u16string text(size / 2, u'\0');
    if (!text.empty())
        std::memcpy(text.data(), data, text.size() * sizeof(char16_t));

    fakes::SocketsLibrary sockets;
    fakes::IcmpEchoLibrary icmp;
    fakes::MessageBox messageBox;
    Module1 module(sockets, icmp, messageBox);
    EchoReply reply{};
    const EchoStatus status = module.EchoAddress(text, TestPayload, reply);

    const bool eightBit =
        std::all_of(text.begin(), text.end(), [](char16_t c) { return c != u'\0' && c <= 0xff; });
    if (status == -1 && (!allZero(reply) || icmp.opened != 0))
        std::abort();
    if (status != -1 && (!eightBit || icmp.sends.size() != 1))
        std::abort();
    return 0;
}
