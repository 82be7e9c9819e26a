#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "platform/MessageCatalog.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

// A catalog as msgfmt itself compiles it, in the given byte order, with a
// header, a text beyond ASCII and a plural entry.
std::vector<std::uint8_t> compiled(const test::TemporaryDirectory& dir, const char* endianness) {
    std::ofstream(dir.path() / "fr.po") << R"(msgid ""
msgstr "Content-Type: text/plain; charset=UTF-8\nPlural-Forms: nplurals=2; plural=(n > 1);\n"
msgid "Yes"
msgstr "Oui"
msgid "Dose"
msgstr "Dose reçue"
msgid "file"
msgid_plural "files"
msgstr[0] "fichier"
msgstr[1] "fichiers"
)";
    const auto mo = dir.path() / (std::string(endianness) + ".mo");
    const auto command = "msgfmt --endianness=" + std::string(endianness) + " -o " + mo.string() +
                         " " + (dir.path() / "fr.po").string();
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return test::readFileBytes(mo);
}

TEST(MessageCatalog, ReadsEitherByteOrderSkipsTheHeaderAndRefusesDamagedFiles) {
    test::TemporaryDirectory dir;
    for (const bool big : {false, true}) {
        SCOPED_TRACE(big);
        auto bytes = compiled(dir, big ? "big" : "little");
        bytes[big ? 5 : 6] = 1;  // major revision 1 shares the layout
        const auto catalog = MessageCatalog::parse(bytes);
        ASSERT_TRUE(catalog);
        EXPECT_EQ(catalog->size(), 3u);
        EXPECT_EQ(*catalog->find("Yes"), "Oui");
        EXPECT_EQ(*catalog->find("Dose"), "Dose reçue");
        EXPECT_EQ(*catalog->find("file"), "fichier");  // a plural entry answers for its singular
        EXPECT_EQ(catalog->find(""), nullptr);
        EXPECT_EQ(catalog->find("No"), nullptr);
    }
    const auto good = compiled(dir, "little");
    // Every cut before the last text's final byte loses part of a table or a string.
    for (size_t size = 0; size + 1 < good.size(); ++size) {
        EXPECT_FALSE(MessageCatalog::parse(std::span(good).first(size))) << size;
    }
    // The magic, major revision 2, a huge entry count, the first key's length
    // running past the end and its offset far beyond the file.
    for (const auto& [at, value] : std::initializer_list<std::pair<size_t, std::uint8_t>>{
             {0, 0x21}, {6, 2}, {11, 0xFF}, {28 + 3, 0xFF}, {28 + 4 + 3, 0x7F}}) {
        auto bad = good;
        bad[at] = value;
        EXPECT_FALSE(MessageCatalog::parse(bad)) << at;
    }
    EXPECT_FALSE(MessageCatalog::load(dir.path() / "none.mo"));
    EXPECT_FALSE(MessageCatalog::load(dir.path()));  // a folder is not a catalog
}

}  // namespace
}  // namespace kesto
