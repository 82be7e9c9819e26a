#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/Result.h"

namespace kesto {

// Reads a small file that a person names or keeps: only a regular file is
// read, so that a FIFO in its place is never waited on and a device such as
// /dev/zero is never read without end, and only up to a bound.
//
// Threads: any thread; no shared state.
class RegularFile {
  public:
    // The whole file; a failure says why (missing, not a regular file,
    // larger than `maxBytes`, unreadable).
    static Result<std::string> read(const std::filesystem::path& path, std::uint64_t maxBytes);
};

}  // namespace kesto
