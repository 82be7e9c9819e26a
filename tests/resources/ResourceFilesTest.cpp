#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "LocaleScope.h"
#include "platform/LocalizedStrings.h"
#include "platform/ResourceLocator.h"
#include "platform/Utf8Text.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

using namespace std::string_literals;

// Signature, a first IHDR chunk and a final IEND: a whole PNG, not one cut
// short or of another format.
void expectPng(const std::filesystem::path& path) {
    SCOPED_TRACE(path.string());
    const auto bytes = test::readFileBytes(path);
    ASSERT_GT(bytes.size(), 8u + 25u + 12u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 16), "\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR"s);
    EXPECT_EQ(std::string(bytes.end() - 8, bytes.end() - 4), "IEND");
}

TEST(ResourceFiles, EveryImageIsAWholePng) {
    std::istringstream names(
        "Onglet_A_icon_2 Onglet_B_icon_2 Onglet_H_icon_2 Onglet_I_icon_2 "
        "B_play B_stop btn_start btn_stop A02 A03");
    for (std::string name; names >> name;) {
        const auto path = ResourceLocator::pathForResource(name, "png", "images");
        ASSERT_TRUE(path) << name;
        expectPng(*path);
    }
}

// The help screen shows the page that the language's "Kesto_help_path" names,
// with its relative references resolved against the page's own folder.
TEST(ResourceFiles, EachLanguageHasAWholeOfflineHelpPage) {
    for (const auto& [lang, name] :
         {std::pair{"en_US.UTF-8", "help_en"}, {"fr_FR.UTF-8", "help_fr"}}) {
        SCOPED_TRACE(lang);
        test::LocaleScope scope(lang);
        ASSERT_EQ(LocalizedStrings::localizedString("Kesto_help_path"), name);
        const auto page = ResourceLocator::pathForResource(name, "html", "help");
        ASSERT_TRUE(page);
        const auto bytes = test::readFileBytes(*page);
        const std::string html(bytes.begin(), bytes.end());
        EXPECT_TRUE(Utf8Text::isValid(html));
        EXPECT_NE(html.find("<meta charset=\"utf-8\">"), std::string::npos);
        EXPECT_NE(html.find("width=320"), std::string::npos);
        int images = 0;
        for (const std::string attribute : {" src=\"", " href=\""}) {
            for (auto at = html.find(attribute); at != std::string::npos;
                 at = html.find(attribute, at + 1)) {
                const auto start = at + attribute.size();
                const auto target = html.substr(start, html.find('"', start) - start);
                SCOPED_TRACE(target);
                EXPECT_EQ(target.find(':'), std::string::npos);  // no scheme: nothing leaves
                EXPECT_NE(target.rfind('/', 0), 0u);
                EXPECT_TRUE(std::filesystem::is_regular_file(page->parent_path() / target));
                images += attribute == " src=\"";
            }
        }
        EXPECT_GE(images, 1);
        expectPng(page->parent_path() / "help_cover_lens.png");
    }
}

}  // namespace
}  // namespace kesto
