#include <sstream>

#include <gtest/gtest.h>

#include "app/CommandLine.h"
#include "network/NetworkFakes.h"

namespace kesto {
namespace {

// Run as the command line does, so the system's service is the one asked.
TEST(NetworkCommandTest, PrintsTheStatusAndTheWordItCameFrom) {
    test::FakeNetwork network;
    test::ScopedDefaultService scoped(*network.service);
    const struct {
        RouteLookup lookup;
        const char* expected;
    } cases[] = {
        {test::viaGateway("wlan0"), "internet: reachable via WiFi\nflags: 0x00000002\n"},
        {test::viaGateway("wwan0", true), "internet: reachable via WWAN\nflags: 0x00040002\n"},
        {RouteLookup::found(Route{"eth0", true, false, false}),
         "internet: not reachable\nflags: 0x00000000\n"},
        {RouteLookup::failure(), "internet: not reachable\nflags: unavailable\n"},
    };
    for (const auto& c : cases) {
        network.routes->setDefaultRoute(c.lookup);
        std::ostringstream out, err;
        EXPECT_EQ(CommandLine::run({"network"}, out, err), 0);
        EXPECT_EQ(out.str(), c.expected);
        EXPECT_EQ(err.str(), "");
    }
}

}  // namespace
}  // namespace kesto
