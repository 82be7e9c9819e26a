#pragma once

#include <filesystem>
#include <optional>
#include <string>

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
    // Nothing, with the reason in `problem`, when no absolute location is left.
    static std::optional<std::filesystem::path> resolve(
        const std::optional<std::filesystem::path>& option, std::string& problem);
    // Creates the directory and its parents when missing; false on failure.
    static bool ensure(const std::filesystem::path& directory, std::string& error);
};

}  // namespace kesto
