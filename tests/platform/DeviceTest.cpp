#include <cctype>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/Device.h"
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

}  // namespace
}  // namespace kesto
