#include "network/internal/SystemHostResolver.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/UniqueHandle.h"

namespace kesto {
namespace {

// Shared between the caller and the lookup thread, which may outlive the
// caller's wait.
struct Lookup {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::optional<in_addr> address;
};

std::optional<in_addr> lookUp(const std::string& hostName) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* results = nullptr;
    if (getaddrinfo(hostName.c_str(), nullptr, &hints, &results) != 0 || !results) {
        return std::nullopt;
    }
    const UniqueHandle<addrinfo, freeaddrinfo> owned(results);
    std::optional<in_addr> address;
    for (const addrinfo* r = results; r; r = r->ai_next) {
        if (r->ai_family == AF_INET && r->ai_addr && r->ai_addrlen >= sizeof(sockaddr_in)) {
            sockaddr_in socketAddress{};
            std::memcpy(&socketAddress, r->ai_addr, sizeof socketAddress);
            address = socketAddress.sin_addr;
            break;
        }
    }
    return address;
}

}  // namespace

SystemHostResolver::SystemHostResolver(std::chrono::milliseconds timeout) : timeout_(timeout) {}

std::optional<in_addr> SystemHostResolver::parseNumeric(const std::string& text) {
    in_addr address{};
    if (inet_pton(AF_INET, text.c_str(), &address) != 1) {
        return std::nullopt;
    }
    return address;
}

std::optional<in_addr> SystemHostResolver::resolve(const std::string& hostName) {
    if (hostName.empty() || hostName.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    if (auto numeric = parseNumeric(hostName)) {
        return numeric;
    }
    auto lookup = std::make_shared<Lookup>();
    try {
        std::thread([lookup, hostName] {
            auto address = lookUp(hostName);
            std::lock_guard lock(lookup->mutex);
            lookup->address = address;
            lookup->finished = true;
            lookup->done.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return std::nullopt;  // no thread to spare: the read fails, nothing blocks
    }
    std::unique_lock lock(lookup->mutex);
    if (!lookup->done.wait_for(lock, timeout_, [&] { return lookup->finished; })) {
        return std::nullopt;
    }
    return lookup->address;
}

}  // namespace kesto
