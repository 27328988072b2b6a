#include "echowatch/net/icmp_kernel_filter.h"

#include "echowatch/icmp/echo_answer_filter.h"

#include <sys/socket.h>

namespace net {

bool attachEchoAnswerFilter(int descriptor, std::uint16_t identifier) noexcept
{
    auto program = icmp::echoAnswerProgram(identifier);
    const sock_fprog filter{static_cast<unsigned short>(program.size()), program.data()};
    return ::setsockopt(descriptor, SOL_SOCKET, SO_ATTACH_FILTER, &filter, sizeof filter) == 0;
}

} // namespace net
