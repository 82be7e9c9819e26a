#include <sys/utsname.h>

#include <cstdlib>

#include <gtest/gtest.h>

#include "platform/DeviceUtil.h"

namespace kesto {
namespace {

class DeviceUtilTest : public ::testing::Test {
  protected:
    void TearDown() override { unsetenv("KESTO_MACHINE"); }
    static void machine(const char* id) { setenv("KESTO_MACHINE", id, 1); }
};

TEST_F(DeviceUtilTest, ModelTableAndTheOneSpecialModel) {
    struct Case {
        const char* id;
        const char* name;
        bool four;
    };
    for (const auto& c :
         {Case{"iPhone3,1", "iPhone 4", true}, Case{"iPhone3,2", "iPhone 4", true},
          Case{"iPhone3,3", "Verizon iPhone 4", false}, Case{"iPhone4,1", "iPhone4,1", false},
          Case{"iphone3,1", "iphone3,1", false}, Case{"i386", "Simulator", false},
          Case{"iPad2,2", "iPad 2 (GSM)", false}}) {
        machine(c.id);
        EXPECT_EQ(DeviceUtil::platform(), c.id);
        EXPECT_EQ(DeviceUtil::platformString(), c.name);
        EXPECT_EQ(DeviceUtil::isIPhone4(), c.four) << c.id;
    }
}

TEST_F(DeviceUtilTest, WithoutOverrideTheKernelMachineNameIsUsed) {
    unsetenv("KESTO_MACHINE");
    utsname name{};
    ASSERT_EQ(uname(&name), 0);
    EXPECT_EQ(DeviceUtil::platform(), name.machine);
    EXPECT_FALSE(DeviceUtil::isIPhone4());
}

}  // namespace
}  // namespace kesto
