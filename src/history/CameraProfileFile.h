#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "engine/CameraProfile.h"

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
    static std::optional<CameraProfile> read(const std::filesystem::path& path, std::string& error);
    static bool write(const std::filesystem::path& path, const CameraProfile& profile,
                      std::string& error);
    // The JSON text of a profile, and back (the error names the faulty field).
    static std::string encode(const CameraProfile& profile);
    static std::optional<CameraProfile> decode(const std::string& text, std::string& error);
};

}  // namespace kesto
