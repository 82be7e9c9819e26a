#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "platform/Result.h"

namespace kesto {

// Where this user's saved measurements live: the option --data-dir when
// given, else $KESTO_DATA_DIR, else $XDG_DATA_HOME/kesto, else
// ~/.local/share/kesto. Empty or relative XDG_DATA_HOME and HOME values are
// ignored (as the XDG rules say for the first), so the history never lands
// under whatever the working directory happens to be; the home directory then
// comes from the password database.
//
// Threads: reads the environment; any thread (the upload log is found from
// upload threads), as long as nothing changes the environment meanwhile.
class DataDirectory {
  public:
    // Fails when no absolute location is left.
    static Result<std::filesystem::path> resolve(
        const std::optional<std::filesystem::path>& option);
    // Creates the directory and its parents when missing.
    static Result<void> ensure(const std::filesystem::path& directory);
};

}  // namespace kesto
