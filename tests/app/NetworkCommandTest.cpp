#include <sstream>

#include <gtest/gtest.h>

#include "app/CommandLine.h"
#include "app/NetworkCommand.h"
#include "network/NetworkFakes.h"

namespace kesto {
namespace {

class NetworkCommandTest : public ::testing::Test {
  protected:
    int run() {
        out.str("");
        err.str("");
        return NetworkCommand(*network.service).run(out, err);
    }
    test::FakeNetwork network;
    std::ostringstream out, err;
};

TEST_F(NetworkCommandTest, PrintsTheStatusAndTheWordItCameFrom) {
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
        EXPECT_EQ(run(), 0);
        EXPECT_EQ(out.str(), c.expected);
        EXPECT_EQ(err.str(), "");
    }
}

TEST_F(NetworkCommandTest, AsksTheSystemsServiceByDefault) {
    test::ScopedDefaultService scoped(*network.service);
    network.routes->setDefaultRoute(test::viaGateway("wlan0"));
    EXPECT_EQ(CommandLine::run({"network"}, out, err), 0);
    EXPECT_EQ(out.str(), "internet: reachable via WiFi\nflags: 0x00000002\n");
}

}  // namespace
}  // namespace kesto
