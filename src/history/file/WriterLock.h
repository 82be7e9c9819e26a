#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "platform/Result.h"
#include "platform/UniqueFd.h"

namespace kesto {

// An advisory lock that makes one process the only writer of a history
// directory: two processes that each wrote back their own list would drop
// each other's records. The lock is an open-file-description lock on
// "<directory>/.lock", which holds the holder's process id for the message
// a refused process shows. The kernel drops it when the holder exits, however
// it ends; the file itself stays (removing it would let a late opener lock a
// file nobody else sees).
//
// Threads: a value; use it from one thread at a time.
class WriterLock {
  public:
    static constexpr const char* kFileName = ".lock";

    // Creates `directory` when missing and takes its lock. Fails when another
    // process holds it (naming its process id) or the lock file cannot be
    // made. Where the file system has no locks the writer goes on unguarded,
    // after a console line.
    static Result<WriterLock> acquire(const std::filesystem::path& directory);

    const std::filesystem::path& directory() const { return directory_; }

  private:
    WriterLock(std::filesystem::path directory, UniqueFd fd)
        : directory_(std::move(directory)), fd_(std::move(fd)) {}

    std::filesystem::path directory_;
    UniqueFd fd_;
};

}  // namespace kesto
