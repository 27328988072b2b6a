// The kernel of the test's own namespace, asked what every namespace with
// loopback up has; the lab asks the rest (tests/lab/route_test.cpp).
#include "echowatch/route/kernel_view.h"
#include "support/packet_builder.h"

#include <gtest/gtest.h>

namespace {

TEST(KernelView, LoopbackIsThisComputer)
{
    const route::RouteFacts facts = route::lookUpRoute(testpackets::address("127.0.0.1"));
    ASSERT_EQ(facts.kind, route::RouteKind::Local) << "errno " << facts.error;
    ASSERT_TRUE(facts.link.has_value());
    EXPECT_EQ(facts.link->name, "lo");
    EXPECT_TRUE(facts.link->adminUp);
    EXPECT_EQ(route::linkTrouble(*facts.link), route::LinkTrouble::None);
}

} // namespace
