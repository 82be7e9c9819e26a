#include "platform/MessageCatalog.h"

#include <fstream>
#include <vector>

namespace kesto {
namespace {

constexpr std::uint32_t kMagic = 0x950412de;
constexpr std::uint32_t kMagicSwapped = 0xde120495;
constexpr size_t kHeaderSize = 28;
// Far above any text table; keeps a wrong path from reading a huge file.
constexpr std::uintmax_t kMaxFileSize = 16 * 1024 * 1024;

class Reader {
  public:
    Reader(std::span<const std::uint8_t> bytes, bool bigEndian)
        : bytes_(bytes), bigEndian_(bigEndian) {}

    std::optional<std::uint32_t> word(std::uint64_t offset) const {
        if (offset > bytes_.size() || bytes_.size() - offset < 4) {
            return std::nullopt;
        }
        const auto* b = bytes_.data() + offset;
        if (bigEndian_) {
            return std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 |
                   std::uint32_t{b[2]} << 8 | std::uint32_t{b[3]};
        }
        return std::uint32_t{b[3]} << 24 | std::uint32_t{b[2]} << 16 | std::uint32_t{b[1]} << 8 |
               std::uint32_t{b[0]};
    }

    // Entry `index` of the string table at `table`: its bytes up to the first
    // NUL (a plural entry holds "singular\0plural"; the singular is the key).
    std::optional<std::string_view> string(std::uint32_t table, std::uint32_t index) const {
        const std::uint64_t slot = std::uint64_t{table} + std::uint64_t{index} * 8;
        const auto length = word(slot);
        const auto offset = word(slot + 4);
        if (!length || !offset || *offset > bytes_.size() ||
            bytes_.size() - *offset < std::uint64_t{*length}) {
            return std::nullopt;
        }
        std::string_view text(reinterpret_cast<const char*>(bytes_.data()) + *offset, *length);
        return text.substr(0, text.find('\0'));
    }

  private:
    std::span<const std::uint8_t> bytes_;
    bool bigEndian_;
};

}  // namespace

std::optional<MessageCatalog> MessageCatalog::load(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return std::nullopt;
    }
    const auto size = std::filesystem::file_size(path, error);
    if (error || size > kMaxFileSize) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes(size);
    std::ifstream in(path, std::ios::binary);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size))) {
        return std::nullopt;
    }
    return parse(bytes);
}

std::optional<MessageCatalog> MessageCatalog::parse(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kHeaderSize) {
        return std::nullopt;
    }
    const auto little = Reader(bytes, false).word(0);
    if (little != kMagic && little != kMagicSwapped) {
        return std::nullopt;
    }
    const Reader reader(bytes, little == kMagicSwapped);
    const auto revision = reader.word(4);
    const auto count = reader.word(8);
    const auto originals = reader.word(12);
    const auto translations = reader.word(16);
    // Major revisions 0 and 1 share this layout; a later one may not.
    if (!revision || (*revision >> 16) > 1 || !count || !originals || !translations) {
        return std::nullopt;
    }
    MessageCatalog catalog;
    for (std::uint32_t i = 0; i < *count; ++i) {
        const auto key = reader.string(*originals, i);
        const auto text = reader.string(*translations, i);
        if (!key || !text) {
            return std::nullopt;
        }
        if (!key->empty()) {
            catalog.texts_.insert_or_assign(std::string(*key), std::string(*text));
        }
    }
    return catalog;
}

const std::string* MessageCatalog::find(std::string_view key) const {
    const auto it = texts_.find(key);
    return it == texts_.end() ? nullptr : &it->second;
}

std::vector<std::string> MessageCatalog::keysStartingWith(std::string_view prefix) const {
    std::vector<std::string> keys;
    for (auto it = texts_.lower_bound(prefix); it != texts_.end() && it->first.starts_with(prefix);
         ++it) {
        keys.push_back(it->first);
    }
    return keys;
}

}  // namespace kesto
