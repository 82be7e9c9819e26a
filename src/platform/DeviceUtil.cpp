#include "platform/DeviceUtil.h"

#include <sys/utsname.h>

#include <cstdlib>
#include <string_view>
#include <utility>

namespace kesto {
namespace {

constexpr std::pair<std::string_view, std::string_view> kModels[] = {
    {"iPhone1,1", "iPhone 1G"},   {"iPhone1,2", "iPhone 3G"},   {"iPhone2,1", "iPhone 3GS"},
    {"iPhone3,1", "iPhone 4"},    {"iPhone3,2", "iPhone 4"},    {"iPhone3,3", "Verizon iPhone 4"},
    {"iPod1,1", "iPod Touch 1G"}, {"iPod2,1", "iPod Touch 2G"}, {"iPod3,1", "iPod Touch 3G"},
    {"iPod4,1", "iPod Touch 4G"}, {"iPad1,1", "iPad"},          {"iPad2,1", "iPad 2 (WiFi)"},
    {"iPad2,2", "iPad 2 (GSM)"},  {"iPad2,3", "iPad 2 (CDMA)"}, {"i386", "Simulator"},
};

}  // namespace

std::string DeviceUtil::platform() {
    if (const char* machine = std::getenv("KESTO_MACHINE"); machine && *machine) {
        return machine;
    }
    utsname name{};
    if (uname(&name) != 0) {
        return {};  // an unknown model: no special settings
    }
    return name.machine;
}

std::string DeviceUtil::displayNameOf(const std::string& identifier) {
    for (const auto& [id, display] : kModels) {
        if (identifier == id) {
            return std::string(display);
        }
    }
    return identifier;
}

std::string DeviceUtil::platformString() {
    return displayNameOf(platform());
}

bool DeviceUtil::isIPhone4() {
    return platformString() == "iPhone 4";
}

}  // namespace kesto
