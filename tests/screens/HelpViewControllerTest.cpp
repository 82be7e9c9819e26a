#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "platform/ResourceLocator.h"
#include "platform/RunLoop.h"
#include "screens/HelpViewController.h"
#include "support/TestSupport.h"
#include "toolkit/NavigationController.h"
#include "toolkit/Window.h"

namespace kesto {
namespace {

// The page comes from the staged resources, or from a folder of the test's
// own that has no texts, where "Kesto_help_path" names itself.
TEST(HelpViewControllerTest, ShowsTheLocalizedPageWithItsOwnFolderAsBase) {
    // Texts and pages of its own, with the staged layouts.
    test::TemporaryDirectory own;
    std::filesystem::create_directories(own.path() / "kesto");
    std::filesystem::copy(ResourceLocator::resourceDirectory() / "layouts",
                          own.path() / "kesto" / "layouts",
                          std::filesystem::copy_options::recursive);
    const auto writeOwnPage = [&](const std::string& bytes) {
        std::filesystem::create_directories(own.path() / "kesto" / "help");
        std::ofstream(own.path() / "kesto" / "help" / "Kesto_help_path.html", std::ios::binary)
            << bytes;
    };
    struct Case {
        const char* name;
        std::function<void()> arrange;
        const char* shows;  // a part of the page shown; "" for an empty view
    };
    const Case cases[] = {
        {"the staged page of the key's text", [] {}, "src=\"help_cover_lens.png\""},
        {"no text for the key, no page of that name",
         [&] { ResourceLocator::setResourceDirectory(own.path() / "kesto"); }, ""},
        {"a page that is not UTF-8",
         [&] {
             ResourceLocator::setResourceDirectory(own.path() / "kesto");
             writeOwnPage("<p>caf\xE9</p>");
         },
         ""},
        {"a page named by the key itself",
         [&] {
             ResourceLocator::setResourceDirectory(own.path() / "kesto");
             writeOwnPage("<p>café</p>");
         },
         "café"},
    };
    for (const auto& c : cases) {
        c.arrange();
        test::ConsoleCapture console;
        auto screen = std::make_unique<HelpViewController>();
        HelpViewController& help = *screen;
        NavigationController nav(std::move(screen));
        Window window;
        window.setRootViewController(&nav);
        window.makeKeyAndVisible();
        RunLoop::main().runPending();

        EXPECT_TRUE(nav.isNavigationBarHidden()) << c.name;
        ASSERT_NE(help.webView(), nullptr) << c.name;
        const std::string& html = help.webView()->html();
        const std::string& base = help.webView()->baseURL();
        const bool shown = *c.shows != '\0';
        EXPECT_EQ(html.empty(), !shown) << c.name;
        EXPECT_NE(html.find(c.shows), std::string::npos) << c.name;
        EXPECT_EQ(console.contains("Help page"), !shown) << c.name;
        if (shown) {
            // The base is the page's own file: read back, it gives the page,
            // and the page's relative image lies beside it.
            ASSERT_EQ(base.rfind("file://", 0), 0U) << c.name;
            const std::filesystem::path page = base.substr(7);
            std::ifstream in(page, std::ios::binary);
            EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), html) << c.name;
            const auto src = html.find("src=\"");
            if (src != std::string::npos) {
                const auto image = html.substr(src + 5, html.find('"', src + 5) - src - 5);
                EXPECT_TRUE(std::filesystem::is_regular_file(page.parent_path() / image))
                    << c.name << ": " << image;
            }
        } else {
            EXPECT_EQ(base, "") << c.name;
        }
        ResourceLocator::setResourceDirectory({});
    }
}

}  // namespace
}  // namespace kesto
