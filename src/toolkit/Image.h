#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kesto {

// An image resource, by file name (e.g. "B_play.png"), found in the
// "images" folder of the resources. A plain value; front ends load the file.
//
// Threads: any thread.
class Image {
  public:
    // The image of that file name, or nothing when the resource is missing.
    static std::optional<Image> imageNamed(std::string_view name);

    const std::string& name() const { return name_; }
    const std::filesystem::path& path() const { return path_; }
    // What the image says, for a screen reader: the text the string table
    // gives its file name ("B_play.png"); empty for an image that only
    // decorates.
    std::string accessibilityLabel() const;

    bool operator==(const Image& other) const { return name_ == other.name_; }

  private:
    Image(std::string name, std::filesystem::path path)
        : name_(std::move(name)), path_(std::move(path)) {}

    std::string name_;
    std::filesystem::path path_;
};

}  // namespace kesto
