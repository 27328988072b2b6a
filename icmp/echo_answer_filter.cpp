#include "echowatch/icmp/echo_answer_filter.h"

#include "echowatch/icmp/icmp_packet.h"

namespace icmp {
namespace {

// Offsets in a packet as a raw socket sees it, from its IP header; X holds
// the IP header's length, then that plus the quoted IP header's.
constexpr std::uint32_t TypeAt = 0;
constexpr std::uint32_t IdentifierAt = 4;
constexpr std::uint32_t QuotedIpAt = HeaderSize;
constexpr std::uint32_t QuotedProtocolAt = QuotedIpAt + 9;
constexpr std::uint32_t QuotedIcmpAt = HeaderSize; // past both IP headers

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

} // namespace

// Loads past the end of a packet end the program with Drop, so a packet too
// short for a field never passes.
EchoAnswerProgram echoAnswerProgram(std::uint16_t identifier) noexcept
{
    return {{
        statement(BPF_LDX | BPF_B | BPF_MSH, 0),         //  0: X = IP header length
        loadByte(TypeAt),                                //  1
        jumpIfEqual(Type::EchoReply, 0, 2),              //  2: else to 5
        loadHalf(IdentifierAt),                          //  3
        jumpIfEqual(identifier, 15, 16),                 //  4: accept, else drop
        jumpIfEqual(Type::DestinationUnreachable, 3, 0), //  5: to 9
        jumpIfEqual(Type::TimeExceeded, 2, 0),           //  6: to 9
        jumpIfEqual(Type::ParameterProblem, 1, 0),       //  7: to 9
        jumpIfEqual(Type::SourceQuench, 0, 12),          //  8: else drop
        loadByte(QuotedProtocolAt),                      //  9
        jumpIfEqual(ProtocolIcmp, 0, 10),                // 10: else drop
        loadByte(QuotedIpAt),                            // 11: quoted version and length
        statement(BPF_ALU | BPF_AND | BPF_K, 0x0f),      // 12
        statement(BPF_ALU | BPF_LSH | BPF_K, 2),         // 13
        statement(BPF_ALU | BPF_ADD | BPF_X, 0),         // 14
        statement(BPF_MISC | BPF_TAX, 0),                // 15: X = both headers' length
        loadByte(QuotedIcmpAt + TypeAt),                 // 16
        jumpIfEqual(Type::EchoRequest, 0, 3),            // 17: else drop
        loadHalf(QuotedIcmpAt + IdentifierAt),           // 18
        jumpIfEqual(identifier, 0, 1),                   // 19: accept, else drop
        statement(BPF_RET | BPF_K, Accept),              // 20
        statement(BPF_RET | BPF_K, Drop),                // 21
    }};
}

} // namespace icmp
