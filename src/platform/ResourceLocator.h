#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace kesto {

// Finds the application's resources (layouts, images, help pages, texts)
// without configuration: <directory of the running program>/../share/kesto,
// which is both the build tree's staging folder (<build>/bin → <build>/share)
// and the installed layout (<prefix>/bin → <prefix>/share). The environment
// variable KESTO_RESOURCES, or setResourceDirectory (tests), overrides it.
// When the data folder found does not exist, the console says so once,
// naming the folder and where it came from.
//
// Threads: any thread.
class ResourceLocator {
  public:
    // The data folder, e.g. <prefix>/share/kesto.
    static std::filesystem::path resourceDirectory();
    // The folder holding <language>/LC_MESSAGES/kesto.mo, e.g. <prefix>/share/locale.
    static std::filesystem::path localeDirectory();

    // The file "<name>.<type>" in `subdirectory` of the data folder, or
    // nothing when it does not exist. An empty type means `name` is whole.
    static std::optional<std::filesystem::path> pathForResource(std::string_view name,
                                                                std::string_view type,
                                                                std::string_view subdirectory = {});

    // Overrides the data folder (its sibling "locale" becomes the locale
    // folder); an empty path restores the default.
    static void setResourceDirectory(const std::filesystem::path& directory);
};

}  // namespace kesto
