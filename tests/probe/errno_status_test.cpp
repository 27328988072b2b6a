#include "echowatch/net/errno_status.h"
#include "echowatch/net/ip_status.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace {

namespace IpStatus = net::IpStatus;

struct ErrnoCase
{
    int error;
    std::int32_t status;
};

std::string nameOf(const testing::TestParamInfo<ErrnoCase> &info)
{
    return ::strerrorname_np(info.param.error);
}

class SendError : public testing::TestWithParam<ErrnoCase>
{};

TEST_P(SendError, NamesWhyTheRequestCouldNotGoOut)
{
    EXPECT_EQ(net::statusForSendError(GetParam().error), GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(Table, SendError,
                         testing::Values(ErrnoCase{ENETUNREACH, IpStatus::DestNetUnreachable},
                                         ErrnoCase{EHOSTUNREACH, IpStatus::DestHostUnreachable},
                                         ErrnoCase{EMSGSIZE, IpStatus::PacketTooBig},
                                         ErrnoCase{ENOBUFS, IpStatus::NoResources},
                                         ErrnoCase{ENOMEM, IpStatus::NoResources},
                                         ErrnoCase{EACCES, IpStatus::BadDestination},
                                         ErrnoCase{EINVAL, IpStatus::BadRoute},
                                         ErrnoCase{EPERM, IpStatus::GeneralFailure},
                                         ErrnoCase{EIO, IpStatus::GeneralFailure}),
                         nameOf);

class OpenError : public testing::TestWithParam<ErrnoCase>
{};

TEST_P(OpenError, TellsMissingResourcesFromRefusal)
{
    EXPECT_EQ(net::statusForOpenError(GetParam().error), GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(Table, OpenError,
                         testing::Values(ErrnoCase{EMFILE, IpStatus::NoResources},
                                         ErrnoCase{ENFILE, IpStatus::NoResources},
                                         ErrnoCase{ENOBUFS, IpStatus::NoResources},
                                         ErrnoCase{ENOMEM, IpStatus::NoResources},
                                         ErrnoCase{EPERM, IpStatus::GeneralFailure},
                                         ErrnoCase{EACCES, IpStatus::GeneralFailure}),
                         nameOf);

TEST(DatagramSocketRefusal, FallsBackToRawOnlyForRefusals)
{
    EXPECT_TRUE(net::datagramSocketRefused(EACCES));
    EXPECT_TRUE(net::datagramSocketRefused(EAFNOSUPPORT));
    EXPECT_TRUE(net::datagramSocketRefused(EPROTONOSUPPORT));
    EXPECT_FALSE(net::datagramSocketRefused(EMFILE));
    EXPECT_FALSE(net::datagramSocketRefused(ENOMEM));
}

} // namespace
