#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "engine/CameraProfile.h"
#include "platform/Result.h"

namespace kesto {

// Camera profiles on disk: "<data directory>/profiles/<camera file name>",
// one JSON object each. Reading takes a regular file of at most
// kMaximumBytes only, checks every field (a file that is not JSON, a missing
// or mistyped figure, a threshold no camera could have, a mask index outside
// the frame...) and refuses the profile with the reason; writing replaces the
// file atomically, creating the directory when missing.
//
// Threads: any thread (one writer per file).
class CameraProfileFile {
  public:
    // Room for a mask of more than a million channel values.
    static constexpr std::uint64_t kMaximumBytes = 16 * 1024 * 1024;

    static std::filesystem::path path(const std::filesystem::path& dataDirectory,
                                      const std::string& cameraFileName);
    static Result<CameraProfile> read(const std::filesystem::path& path);
    static Result<void> write(const std::filesystem::path& path, const CameraProfile& profile);
    // The JSON text of a profile, and back (a refusal names the faulty field).
    static std::string encode(const CameraProfile& profile);
    static Result<CameraProfile> decode(const std::string& text);
};

}  // namespace kesto
