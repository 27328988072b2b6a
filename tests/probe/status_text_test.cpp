#include "echowatch/probe/status_text.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

struct StatusLineCase
{
    EchoStatus status;
    const char *line;
};

class StatusLine : public testing::TestWithParam<StatusLineCase>
{};

std::string nameOf(const testing::TestParamInfo<StatusLineCase> &info)
{
    const auto code = std::to_string(info.param.status);
    return code[0] == '-' ? "minus" + code.substr(1) : code;
}

TEST_P(StatusLine, ReadsCodeThenText)
{
    EXPECT_EQ(StatusText(GetParam().status), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    KnownCodes, StatusLine,
    testing::Values(StatusLineCase{0, "0   [ ip success ]"},
                    StatusLineCase{500, "500   [ ping timeout ]"},
                    StatusLineCase{11001, "11001   [ ip buf too_small ]"},
                    StatusLineCase{11002, "11002   [ ip dest net unreachable ]"},
                    StatusLineCase{11003, "11003   [ ip dest host unreachable ]"},
                    StatusLineCase{11004, "11004   [ ip dest prot unreachable ]"},
                    StatusLineCase{11005, "11005   [ ip dest port unreachable ]"},
                    StatusLineCase{11006, "11006   [ ip no resources ]"},
                    StatusLineCase{11007, "11007   [ ip bad option ]"},
                    StatusLineCase{11008, "11008   [ ip hw_error ]"},
                    StatusLineCase{11009, "11009   [ ip packet too_big ]"},
                    StatusLineCase{11010, "11010   [ ip req timed out ]"},
                    StatusLineCase{11011, "11011   [ ip bad req ]"},
                    StatusLineCase{11012, "11012   [ ip bad route ]"},
                    StatusLineCase{11013, "11013   [ ip ttl expired transit ]"},
                    StatusLineCase{11014, "11014   [ ip ttl expired reassem ]"},
                    StatusLineCase{11015, "11015   [ ip param_problem ]"},
                    StatusLineCase{11016, "11016   [ ip source quench ]"},
                    StatusLineCase{11017, "11017   [ ip option too_big ]"},
                    StatusLineCase{11018, "11018   [ ip bad destination ]"},
                    StatusLineCase{11019, "11019   [ ip addr deleted ]"},
                    StatusLineCase{11020, "11020   [ ip spec mtu change ]"},
                    StatusLineCase{11021, "11021   [ ip mtu_change ]"},
                    StatusLineCase{11022, "11022   [ ip unload ]"},
                    StatusLineCase{11023, "11023   [ ip addr added ]"},
                    StatusLineCase{11050, "11050   [ ip general failure ]"},
                    StatusLineCase{11255, "11255   [ ip pending ]"},
                    StatusLineCase{-1, "-1   [ inet_addr: bad IP format ]"}),
    nameOf);

// Around and between the known codes, and every sign.
INSTANTIATE_TEST_SUITE_P(
    Fallback, StatusLine,
    testing::Values(StatusLineCase{7, "7   [ unknown  msg returned ]"},
                    StatusLineCase{1, "1   [ unknown  msg returned ]"},
                    StatusLineCase{499, "499   [ unknown  msg returned ]"},
                    StatusLineCase{501, "501   [ unknown  msg returned ]"},
                    StatusLineCase{11000, "11000   [ unknown  msg returned ]"},
                    StatusLineCase{11024, "11024   [ unknown  msg returned ]"},
                    StatusLineCase{11049, "11049   [ unknown  msg returned ]"},
                    StatusLineCase{11051, "11051   [ unknown  msg returned ]"},
                    StatusLineCase{11254, "11254   [ unknown  msg returned ]"},
                    StatusLineCase{11256, "11256   [ unknown  msg returned ]"},
                    StatusLineCase{-2, "-2   [ unknown  msg returned ]"},
                    StatusLineCase{-11010, "-11010   [ unknown  msg returned ]"},
                    StatusLineCase{INT_MAX, "2147483647   [ unknown  msg returned ]"},
                    StatusLineCase{INT_MIN, "-2147483648   [ unknown  msg returned ]"}),
    nameOf);

} // namespace
