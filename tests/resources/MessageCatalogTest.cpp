#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/MessageCatalog.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

// A catalog laid out as msgfmt writes one (header, key table, text table,
// then the strings), in either byte order.
std::vector<std::uint8_t> makeCatalog(const Entries& entries, bool bigEndian = false,
                                      std::uint32_t revision = 0) {
    std::vector<std::uint8_t> out;
    auto put = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            const int shift = bigEndian ? 24 - 8 * i : 8 * i;
            out.push_back(static_cast<std::uint8_t>(v >> shift));
        }
    };
    const auto n = static_cast<std::uint32_t>(entries.size());
    const std::uint32_t keys = 28;
    const std::uint32_t texts = keys + 8 * n;
    std::uint32_t strings = texts + 8 * n;
    std::string blob;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> keySlots;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> textSlots;
    for (const auto& [key, text] : entries) {
        keySlots.emplace_back(static_cast<std::uint32_t>(key.size()),
                              strings + static_cast<std::uint32_t>(blob.size()));
        blob += key + '\0';
    }
    for (const auto& [key, text] : entries) {
        textSlots.emplace_back(static_cast<std::uint32_t>(text.size()),
                               strings + static_cast<std::uint32_t>(blob.size()));
        blob += text + '\0';
    }
    for (std::uint32_t v : {0x950412deu, revision, n, keys, texts, 0u, strings}) {
        put(v);
    }
    for (const auto& slots : {keySlots, textSlots}) {
        for (const auto& [length, offset] : slots) {
            put(length);
            put(offset);
        }
    }
    out.insert(out.end(), blob.begin(), blob.end());
    return out;
}

TEST(MessageCatalog, ReadsEitherByteOrderAndSkipsTheHeader) {
    const Entries entries = {
        {"", "Content-Type: text/plain; charset=UTF-8\n"},
        {"Yes", "Oui"},
        {"Dose", "Dose\xC2\xA0:"},
        {std::string("file\0files", 10), std::string("fichier\0fichiers", 16)}};
    for (bool bigEndian : {false, true}) {
        SCOPED_TRACE(bigEndian);
        const auto catalog = MessageCatalog::parse(makeCatalog(entries, bigEndian, 1u << 16));
        ASSERT_TRUE(catalog);
        EXPECT_EQ(catalog->size(), 3u);
        EXPECT_EQ(*catalog->find("Yes"), "Oui");
        EXPECT_EQ(*catalog->find("Dose"), "Dose\xC2\xA0:");
        EXPECT_EQ(*catalog->find("file"), "fichier");  // a plural entry answers for its singular
        EXPECT_EQ(catalog->find(""), nullptr);
        EXPECT_EQ(catalog->find("No"), nullptr);
    }
}

TEST(MessageCatalog, RefusesDamagedFilesWithoutReadingPastThem) {
    const auto good = makeCatalog({{"Yes", "Oui"}, {"No", "Non"}});
    ASSERT_TRUE(MessageCatalog::parse(good));
    // Every cut before the last text's final byte loses part of a table or a string.
    for (size_t size = 0; size + 1 < good.size(); ++size) {
        EXPECT_FALSE(MessageCatalog::parse(std::span(good).first(size))) << size;
    }
    auto badMagic = good;
    badMagic[0] ^= 0xFF;
    EXPECT_FALSE(MessageCatalog::parse(badMagic));
    EXPECT_FALSE(MessageCatalog::parse(makeCatalog({{"Yes", "Oui"}}, false, 2u << 16)));
    auto hugeCount = good;
    hugeCount[8] = hugeCount[9] = hugeCount[10] = hugeCount[11] = 0xFF;
    EXPECT_FALSE(MessageCatalog::parse(hugeCount));
    auto farOffset = good;
    farOffset[28 + 4 + 3] = 0x7F;  // first key's offset points far beyond the file
    EXPECT_FALSE(MessageCatalog::parse(farOffset));
    auto longLength = good;
    longLength[28 + 3] = 0xFF;  // first key's length runs past the end
    EXPECT_FALSE(MessageCatalog::parse(longLength));
    test::TemporaryDirectory directory;
    EXPECT_FALSE(MessageCatalog::load(directory.path() / "none.mo"));
    EXPECT_FALSE(MessageCatalog::load(directory.path()));  // a folder is not a catalog
}

}  // namespace
}  // namespace kesto
