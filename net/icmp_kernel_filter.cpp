#include "echowatch/net/icmp_kernel_filter.h"

#include "echowatch/net/icmp_packet.h"

#include <array>
#include <linux/filter.h>
#include <sys/socket.h>

namespace net {
namespace {

namespace Type = icmp::Type;

// Offsets in a packet as a raw socket sees it, from its IP header; X holds
// the IP header's length, then that plus the quoted IP header's.
constexpr std::uint32_t TypeAt = 0;
constexpr std::uint32_t IdentifierAt = 4;
constexpr std::uint32_t SequenceAt = 6;
constexpr std::uint32_t QuotedIpAt = icmp::HeaderSize;
constexpr std::uint32_t QuotedProtocolAt = QuotedIpAt + 9;
constexpr std::uint32_t QuotedIcmpAt = icmp::HeaderSize; // past both IP headers

// Keep the whole packet, or none of it.
constexpr std::uint32_t Accept = 0xffffffffu;
constexpr std::uint32_t Drop = 0;

constexpr sock_filter statement(std::uint16_t code, std::uint32_t k) noexcept
{
    return sock_filter{code, 0, 0, k};
}

// Jump offsets count the instructions skipped after this one.
constexpr sock_filter jumpIfEqual(std::uint32_t k, std::uint8_t ifEqual,
                                  std::uint8_t ifNot) noexcept
{
    return sock_filter{BPF_JMP | BPF_JEQ | BPF_K, ifEqual, ifNot, k};
}

constexpr sock_filter loadByte(std::uint32_t at) noexcept
{
    return statement(BPF_LD | BPF_B | BPF_IND, at);
}

constexpr sock_filter loadHalf(std::uint32_t at) noexcept
{
    return statement(BPF_LD | BPF_H | BPF_IND, at);
}

// Loads past the end of a packet end the program with Drop, so a packet too
// short for a field never passes.
constexpr std::array<sock_filter, 26> echoAnswerProgram(std::uint16_t identifier,
                                                        std::uint16_t sequence) noexcept
{
    return {{
        statement(BPF_LDX | BPF_B | BPF_MSH, 0),         //  0: X = IP header length
        loadByte(TypeAt),                                //  1
        jumpIfEqual(Type::EchoReply, 0, 4),              //  2: else to 7
        loadHalf(IdentifierAt),                          //  3
        jumpIfEqual(identifier, 0, 20),                  //  4: else drop
        loadHalf(SequenceAt),                            //  5
        jumpIfEqual(sequence, 17, 18),                   //  6: accept, else drop
        jumpIfEqual(Type::DestinationUnreachable, 3, 0), //  7: to 11
        jumpIfEqual(Type::TimeExceeded, 2, 0),           //  8: to 11
        jumpIfEqual(Type::ParameterProblem, 1, 0),       //  9: to 11
        jumpIfEqual(Type::SourceQuench, 0, 14),          // 10: else drop
        loadByte(QuotedProtocolAt),                      // 11
        jumpIfEqual(icmp::ProtocolIcmp, 0, 12),          // 12: else drop
        loadByte(QuotedIpAt),                            // 13: quoted version and length
        statement(BPF_ALU | BPF_AND | BPF_K, 0x0f),      // 14
        statement(BPF_ALU | BPF_LSH | BPF_K, 2),         // 15
        statement(BPF_ALU | BPF_ADD | BPF_X, 0),         // 16
        statement(BPF_MISC | BPF_TAX, 0),                // 17: X = both headers' length
        loadByte(QuotedIcmpAt + TypeAt),                 // 18
        jumpIfEqual(Type::EchoRequest, 0, 5),            // 19: else drop
        loadHalf(QuotedIcmpAt + IdentifierAt),           // 20
        jumpIfEqual(identifier, 0, 3),                   // 21: else drop
        loadHalf(QuotedIcmpAt + SequenceAt),             // 22
        jumpIfEqual(sequence, 0, 1),                     // 23: accept, else drop
        statement(BPF_RET | BPF_K, Accept),              // 24
        statement(BPF_RET | BPF_K, Drop),                // 25
    }};
}

} // namespace

bool attachEchoAnswerFilter(int descriptor, std::uint16_t identifier,
                            std::uint16_t sequence) noexcept
{
    auto program = echoAnswerProgram(identifier, sequence);
    const sock_fprog filter{static_cast<unsigned short>(program.size()), program.data()};
    return ::setsockopt(descriptor, SOL_SOCKET, SO_ATTACH_FILTER, &filter, sizeof filter) == 0;
}

} // namespace net
