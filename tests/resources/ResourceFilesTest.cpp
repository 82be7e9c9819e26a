#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "LocaleScope.h"
#include "platform/LocalizedStrings.h"
#include "platform/ResourceLocator.h"
#include "platform/Utf8Text.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

std::uint32_t bigEndianWord(const std::vector<std::uint8_t>& bytes, size_t at) {
    return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 |
           std::uint32_t{bytes[at + 2]} << 8 | std::uint32_t{bytes[at + 3]};
}

// Signature, a first IHDR chunk with the size, 8-bit RGB or RGBA, and a final IEND:
// a whole PNG that any decoder accepts as such.
void expectPng(const std::filesystem::path& path, std::uint32_t width, std::uint32_t height) {
    SCOPED_TRACE(path.string());
    const auto bytes = test::readFileBytes(path);
    const std::vector<std::uint8_t> signature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    ASSERT_GT(bytes.size(), 8u + 25u + 12u);
    EXPECT_TRUE(std::equal(signature.begin(), signature.end(), bytes.begin()));
    EXPECT_EQ(bigEndianWord(bytes, 8), 13u);
    EXPECT_EQ(std::string(bytes.begin() + 12, bytes.begin() + 16), "IHDR");
    EXPECT_EQ(bigEndianWord(bytes, 16), width);
    EXPECT_EQ(bigEndianWord(bytes, 20), height);
    EXPECT_EQ(bytes[24], 8);                        // bit depth
    EXPECT_TRUE(bytes[25] == 2 || bytes[25] == 6);  // colour type: RGB, RGBA
    EXPECT_EQ(std::string(bytes.end() - 8, bytes.end() - 4), "IEND");
}

TEST(ResourceFiles, EveryImageIsAPngOfItsSize) {
    struct Image {
        const char* name;
        std::uint32_t width;
        std::uint32_t height;
    };
    const Image images[] = {
        {"Onglet_A_icon_2", 60, 60}, {"Onglet_B_icon_2", 60, 60}, {"Onglet_H_icon_2", 60, 60},
        {"Onglet_I_icon_2", 60, 60}, {"B_play", 120, 120},        {"B_stop", 120, 120},
        {"btn_start", 120, 120},     {"btn_stop", 120, 120},      {"A02", 320, 416},
        {"A03", 320, 416},
    };
    for (const auto& image : images) {
        const auto path = ResourceLocator::pathForResource(image.name, "png", "images");
        ASSERT_TRUE(path) << image.name;
        expectPng(*path, image.width, image.height);
    }
}

// Every src="..." and href="..." of a page, as (attribute, target).
std::vector<std::pair<std::string, std::string>> references(const std::string& html) {
    std::vector<std::pair<std::string, std::string>> found;
    for (const std::string attribute : {"src", "href"}) {
        const std::string opening = " " + attribute + "=\"";
        for (auto at = html.find(opening); at != std::string::npos;
             at = html.find(opening, at + 1)) {
            const auto start = at + opening.size();
            const auto end = html.find('"', start);
            found.emplace_back(attribute, html.substr(start, end - start));
        }
    }
    return found;
}

// The help screen shows the page that the language's "Kesto_help_path" names,
// with its relative references resolved against the page's own folder.
TEST(ResourceFiles, EachLanguageHasAWholeOfflineHelpPage) {
    for (const char* lang : {"en_US.UTF-8", "fr_FR.UTF-8"}) {
        SCOPED_TRACE(lang);
        test::LocaleScope scope(lang);
        const auto name = LocalizedStrings::localizedString("Kesto_help_path");
        const auto page = ResourceLocator::pathForResource(name, "html", "help");
        ASSERT_TRUE(page) << name;
        const auto bytes = test::readFileBytes(*page);
        const std::string html(bytes.begin(), bytes.end());
        EXPECT_TRUE(Utf8Text::isValid(html));
        EXPECT_NE(html.find("<meta charset=\"utf-8\">"), std::string::npos);
        EXPECT_NE(html.find("width=320"), std::string::npos);
        int images = 0;
        for (const auto& [attribute, target] : references(html)) {
            SCOPED_TRACE(target);
            EXPECT_EQ(target.find(':'), std::string::npos);  // no scheme: nothing leaves the device
            EXPECT_NE(target.rfind('/', 0), 0u);
            EXPECT_TRUE(std::filesystem::is_regular_file(page->parent_path() / target));
            images += attribute == "src";
        }
        EXPECT_GE(images, 1);
        expectPng(page->parent_path() / "help_cover_lens.png", 280, 150);
    }
}

}  // namespace
}  // namespace kesto
