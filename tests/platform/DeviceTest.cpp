#include <sys/utsname.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <tuple>

#include <gtest/gtest.h>

#include "platform/Device.h"
#include "platform/DeviceUtil.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

TEST(DeviceTest, IdentifierIsStableHexAndNeverTheMachineId) {
    std::string machineId;
    std::getline(std::ifstream("/etc/machine-id"), machineId);
    test::ConsoleCapture console;
    const std::string id = Device::uniqueIdentifier();
    if (machineId.size() != 32) {
        EXPECT_EQ(id, "");
        EXPECT_TRUE(console.contains("Device identifier unavailable"));
        return;
    }
    ASSERT_EQ(id.size(), 64u);
    for (const char c : id) {
        EXPECT_TRUE(std::isxdigit(static_cast<unsigned char>(c)) && !std::isupper(c)) << id;
    }
    EXPECT_EQ(id, Device::uniqueIdentifier());
    EXPECT_EQ(id.find(machineId.substr(0, 8)), std::string::npos);
    EXPECT_NE(id.substr(0, 32), id.substr(32)) << "two independent halves";
}

TEST(DeviceUtilTest, ModelNamesAndTheOneSpecialModel) {
    for (const auto& [id, name, four] : {std::tuple{"iPhone3,1", "iPhone 4", true},
                                         {"iPhone3,3", "Verizon iPhone 4", false},
                                         {"iPhone4,1", "iPhone4,1", false},
                                         {"iphone3,1", "iphone3,1", false},
                                         {"i386", "Simulator", false}}) {
        setenv("KESTO_MACHINE", id, 1);
        EXPECT_EQ(DeviceUtil::platform(), id);
        EXPECT_EQ(DeviceUtil::platformString(), name);
        EXPECT_EQ(DeviceUtil::isIPhone4(), four) << id;
    }
    unsetenv("KESTO_MACHINE");
    utsname machine{};
    ASSERT_EQ(uname(&machine), 0);
    EXPECT_EQ(DeviceUtil::platform(), machine.machine);
    EXPECT_FALSE(DeviceUtil::isIPhone4());
}

}  // namespace
}  // namespace kesto
