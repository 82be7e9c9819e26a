#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace kesto {

// Where this user's saved measurements live: the option --data-dir when
// given, else $KESTO_DATA_DIR, else $XDG_DATA_HOME/kesto, else
// ~/.local/share/kesto (relative XDG_DATA_HOME values are ignored, as the
// XDG rules say).
//
// Threads: reads the environment; call from the main thread.
class DataDirectory {
  public:
    static std::filesystem::path resolve(const std::optional<std::filesystem::path>& option);
    // Creates the directory and its parents when missing; false on failure.
    static bool ensure(const std::filesystem::path& directory, std::string& error);
};

}  // namespace kesto
