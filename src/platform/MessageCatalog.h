#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kesto {

// One compiled message catalog (a gettext .mo file) read straight from its
// bytes. LocalizedStrings keeps the English table in one of these: gettext
// answers only for the process locale's language and gives the bare key
// under C/POSIX or a language without texts, where English must show.
//
// Malformed or truncated files are refused whole: every offset and length is
// checked against the file's size before it is read.
//
// Threads: an instance never changes after it is made; any thread may read it.
class MessageCatalog {
  public:
    // The catalog in the file at `path`; nothing when it cannot be read or is
    // not a valid catalog.
    static std::optional<MessageCatalog> load(const std::filesystem::path& path);
    static std::optional<MessageCatalog> parse(std::span<const std::uint8_t> bytes);

    // The text for `key`, or nullptr when the catalog has none. The catalog's
    // header (the entry with the empty key) is never returned.
    const std::string* find(std::string_view key) const;
    size_t size() const { return texts_.size(); }
    std::vector<std::string> keysStartingWith(std::string_view prefix) const;

  private:
    std::map<std::string, std::string, std::less<>> texts_;
};

}  // namespace kesto
