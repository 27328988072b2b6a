#include "echowatch/icmp/errno_status.h"
#include "echowatch/icmp/ip_status.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace {

namespace IpStatus = icmp::IpStatus;

// Why a socket could not be opened, or a request could not go out: missing
// resources told from refusal.
struct ErrnoCase
{
    std::int32_t (*statusFor)(int error);
    int error;
    std::int32_t status;
};

constexpr auto Send = icmp::statusForSendError;
constexpr auto Open = icmp::statusForOpenError;
// A ping socket's pending error: the kernel's errno for the ICMP error heard.
constexpr auto Pending = icmp::statusForPendingError;

std::string nameOf(const testing::TestParamInfo<ErrnoCase> &info)
{
    const auto &statusFor = info.param.statusFor;
    return (statusFor == Send   ? "Send"
            : statusFor == Open ? "Open"
                                : "Pending") +
           std::string(::strerrorname_np(info.param.error));
}

class ErrnoMapping : public testing::TestWithParam<ErrnoCase>
{};

TEST_P(ErrnoMapping, NamesTheStatus)
{
    EXPECT_EQ(GetParam().statusFor(GetParam().error), GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ErrnoMapping,
    testing::Values(ErrnoCase{Send, ENETUNREACH, IpStatus::DestNetUnreachable},
                    ErrnoCase{Send, EHOSTUNREACH, IpStatus::DestHostUnreachable},
                    ErrnoCase{Send, EMSGSIZE, IpStatus::PacketTooBig},
                    ErrnoCase{Send, ENOBUFS, IpStatus::NoResources},
                    ErrnoCase{Send, ENOMEM, IpStatus::NoResources},
                    ErrnoCase{Send, EACCES, IpStatus::BadDestination},
                    ErrnoCase{Send, EINVAL, IpStatus::BadRoute},
                    ErrnoCase{Send, EPERM, IpStatus::GeneralFailure},
                    ErrnoCase{Send, EIO, IpStatus::GeneralFailure},
                    ErrnoCase{Open, EMFILE, IpStatus::NoResources},
                    ErrnoCase{Open, ENFILE, IpStatus::NoResources},
                    ErrnoCase{Open, ENOBUFS, IpStatus::NoResources},
                    ErrnoCase{Open, ENOMEM, IpStatus::NoResources},
                    ErrnoCase{Open, EPERM, IpStatus::GeneralFailure},
                    ErrnoCase{Open, EACCES, IpStatus::GeneralFailure},
                    ErrnoCase{Pending, ENETUNREACH, IpStatus::DestNetUnreachable},
                    ErrnoCase{Pending, EHOSTUNREACH, IpStatus::DestHostUnreachable},
                    ErrnoCase{Pending, EHOSTDOWN, IpStatus::DestHostUnreachable},
                    ErrnoCase{Pending, ENONET, IpStatus::DestHostUnreachable},
                    ErrnoCase{Pending, ENOPROTOOPT, IpStatus::DestProtUnreachable},
                    ErrnoCase{Pending, ECONNREFUSED, IpStatus::DestPortUnreachable},
                    ErrnoCase{Pending, EMSGSIZE, IpStatus::PacketTooBig},
                    ErrnoCase{Pending, EOPNOTSUPP, IpStatus::BadRoute},
                    ErrnoCase{Pending, EPROTO, IpStatus::ParamProblem},
                    ErrnoCase{Pending, EREMOTEIO, IpStatus::SourceQuench},
                    ErrnoCase{Pending, EIO, IpStatus::GeneralFailure}),
    nameOf);

TEST(DatagramSocketRefusal, FallsBackToRawOnlyForRefusals)
{
    EXPECT_TRUE(icmp::datagramSocketRefused(EACCES));
    EXPECT_TRUE(icmp::datagramSocketRefused(EAFNOSUPPORT));
    EXPECT_TRUE(icmp::datagramSocketRefused(EPROTONOSUPPORT));
    EXPECT_FALSE(icmp::datagramSocketRefused(EMFILE));
    EXPECT_FALSE(icmp::datagramSocketRefused(ENOMEM));
}

} // namespace
