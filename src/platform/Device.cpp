#include "platform/Device.h"

#include <unistd.h>

#include <systemd/sd-id128.h>

#include "platform/Console.h"

namespace kesto {
namespace {

// This program's application id (made once with `systemd-id128 new`).
constexpr sd_id128_t kApplicationId = {.bytes = {0x69, 0x24, 0x1c, 0xc4, 0xc3, 0x4c, 0x43, 0x12,
                                                 0xb2, 0x16, 0xfb, 0xf7, 0x33, 0x13, 0x56, 0x6d}};

// The application id for one user and one half of the identifier: each
// half is 128 bits, and the identifier keeps the 256-bit form it has
// always had in saved histories.
sd_id128_t applicationId(uid_t user, std::uint8_t half) {
    sd_id128_t id = kApplicationId;
    id.bytes[11] ^= half;
    for (int i = 0; i < 4; ++i) {
        id.bytes[12 + i] ^= static_cast<std::uint8_t>(user >> (8 * (3 - i)));
    }
    return id;
}

}  // namespace

std::string Device::uniqueIdentifier() {
    std::string text;
    for (std::uint8_t half = 0; half < 2; ++half) {
        sd_id128_t id;
        if (sd_id128_get_machine_app_specific(applicationId(getuid(), half), &id) < 0) {
            Console::log("Device identifier unavailable: no machine id");
            return {};
        }
        char digits[SD_ID128_STRING_MAX];
        text += sd_id128_to_string(id, digits);
    }
    return text;
}

}  // namespace kesto
