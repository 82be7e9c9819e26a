#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/Result.h"

namespace kesto {

// Replaces a file whole, so that a crash or a kill at any moment leaves
// either the old content or the new one: the bytes go to a temporary file in
// the same directory, reach the disk, take the file's name by rename, and the
// directory entry is flushed too. Each replace first removes the
// temporaries of earlier saves of the same file that were killed half-way.
//
// Threads: any thread; concurrent replaces of one path end with one of them.
class AtomicFile {
  public:
    // On failure leaves the old file as it was.
    static Result<void> replace(const std::filesystem::path& path, std::string_view bytes);
};

}  // namespace kesto
