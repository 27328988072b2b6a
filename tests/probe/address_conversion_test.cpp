#include "echowatch/probe/module1.h"
#include "support/echo_record.h"
#include "support/fake_services.h"
#include "support/packet_builder.h"

#include <gtest/gtest.h>

namespace {

constexpr std::size_t Megabyte = 1024 * 1024;

std::u16string repeated(std::u16string_view text, std::size_t times)
{
    std::u16string all;
    for (std::size_t i = 0; i < times; ++i)
        all += text;
    return all;
}

struct AddressCase
{
    const char *name;
    std::u16string text;
    const char *sentTo; // nullptr: not an address, nothing is sent
};

class AddressText : public testing::TestWithParam<AddressCase>
{
protected:
    fakes::SocketsLibrary sockets;
    fakes::IcmpEchoLibrary icmp;
    fakes::MessageBox messageBox;
    Module1 module{sockets, icmp, messageBox};
};

TEST_P(AddressText, ConvertsAsInetAddrDoesOrNotAtAll)
{
    EchoReply reply{};
    const EchoStatus status = module.EchoAddress(GetParam().text, u"1234", reply);
    if (GetParam().sentTo == nullptr) {
        EXPECT_EQ(status, -1);
        EXPECT_EQ(icmp.opened, 0);
        EXPECT_TRUE(allZero(reply));
    } else {
        ASSERT_EQ(icmp.sends.size(), 1u);
        EXPECT_EQ(icmp.sends[0].destination, testpackets::address(GetParam().sentTo));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, AddressText,
    testing::Values(
        AddressCase{"dottedQuad", u"127.0.0.1", "127.0.0.1"},
        AddressCase{"shortForm", u"127.1", "127.0.0.1"},
        AddressCase{"hexadecimal", u"0x7f.0.0.1", "127.0.0.1"},
        AddressCase{"octal", u"0177.0.0.01", "127.0.0.1"},
        AddressCase{"oneNumber", u"2130706433", "127.0.0.1"},
        AddressCase{"zeroes", u"0.0.0.0", "0.0.0.0"},
        AddressCase{"allOnes", u"255.255.255.255", nullptr},
        AddressCase{"hostName", u"localhost", nullptr}, AddressCase{"empty", u"", nullptr},
        AddressCase{"octetTooLarge", u"127.0.0.256", nullptr},
        AddressCase{"fiveParts", u"1.2.3.4.5", nullptr},
        AddressCase{"nulCutsNothingShort", std::u16string(u"127.0.0.1\0x", 11), nullptr},
        AddressCase{"nulInFront",
                    std::u16string(u"\0"
                                   u"127.0.0.1",
                                   10),
                    nullptr},
        AddressCase{"arabicIndicDigit", u"127.0.0.\u0661", nullptr},
        AddressCase{"fullwidthDigits", u"\uff11\uff12\uff17.0.0.1", nullptr},
        AddressCase{"latinOneLetter", u"127.0.0.\u00e9", nullptr},
        AddressCase{"controlCharacter", u"127.0.\x01.1", nullptr},
        // Longer than the room kept on the stack; inet_addr stops
        // at white space.
        AddressCase{"longText", u"127.0.0.1" + std::u16string(100, u' '), "127.0.0.1"},
        AddressCase{"longTextWithNul", u"127.0.0.1" + std::u16string(100, u' ') + u'\0', nullptr},
        AddressCase{"megabyteOfDigits", std::u16string(Megabyte, u'1'), nullptr},
        AddressCase{"megabyteOfDottedQuads", repeated(u"127.0.0.1.", Megabyte / 10), nullptr},
        AddressCase{"addressThenAMegabyte", u"127.0.0.1" + std::u16string(Megabyte, u'x'), nullptr},
        AddressCase{"cyrillic", u"\u0441\u0435\u0440\u0432\u0435\u0440", nullptr},
        AddressCase{"chinese", u"\u4e3b\u673a.\u4f8b\u5b50", nullptr},
        AddressCase{"emoji", u"127.0.0.\U0001F600", nullptr},
        AddressCase{"loneSurrogate",
                    u"\xd800"
                    u"127.0.0.1",
                    nullptr},
        AddressCase{"rightToLeftMark", u"\u200f127.0.0.1", nullptr}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
