#pragma once

#include <filesystem>
#include <string>

#include "platform/Result.h"

namespace kesto {

// The web front end's access token: random, or fixed by a file for a
// service that must keep its address stable across restarts.
//
// Threads: any.
class AccessToken {
  public:
    static constexpr std::size_t kRandomBytes = 32;
    static constexpr std::size_t kMinimumLength = 16;

    // 64 hex digits from the kernel's random source; a failure when it
    // fails: no token is better than a guessable one.
    static Result<std::string> generate();
    // The file's first line, trimmed; it must hold at least kMinimumLength
    // characters of [A-Za-z0-9._~-], so that it is safe in a URL and a
    // cookie, and no one but its owner (and root) may read it.
    static Result<std::string> readFile(const std::filesystem::path& file);
};

}  // namespace kesto
