#include "platform/Device.h"

#include <unistd.h>

#include <fstream>
#include <mutex>
#include <optional>

#include "platform/Console.h"
#include "platform/NoDestructor.h"
#include "platform/Sha256.h"

namespace kesto {
namespace {

struct Override {
    std::mutex mutex;
    std::filesystem::path path;
};

Override& machineIdOverride() {
    static NoDestructor<Override> instance;
    return instance.get();
}

std::optional<std::string> readMachineId(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::string id;
    if (!in || !std::getline(in, id)) {
        return std::nullopt;
    }
    while (!id.empty() && (id.back() == ' ' || id.back() == '\r' || id.back() == '\t')) {
        id.pop_back();
    }
    if (id.empty()) {
        return std::nullopt;
    }
    return id;
}

}  // namespace

void Device::setMachineIdPath(const std::filesystem::path& path) {
    auto& o = machineIdOverride();
    std::lock_guard lock(o.mutex);
    o.path = path;
}

std::string Device::uniqueIdentifier() {
    std::filesystem::path chosen;
    {
        auto& o = machineIdOverride();
        std::lock_guard lock(o.mutex);
        chosen = o.path;
    }
    std::optional<std::string> id;
    if (!chosen.empty()) {
        id = readMachineId(chosen);
    } else {
        id = readMachineId("/etc/machine-id");
        if (!id) {
            id = readMachineId("/var/lib/dbus/machine-id");
        }
    }
    if (!id) {
        Console::log("Device identifier unavailable: no machine id");
        return {};
    }
    return Sha256::hexDigest(*id + ":" + std::to_string(getuid()) + ":kesto");
}

}  // namespace kesto
