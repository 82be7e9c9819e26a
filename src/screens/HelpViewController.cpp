#include "screens/HelpViewController.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "platform/Console.h"
#include "platform/LocalizedStrings.h"
#include "platform/ResourceLocator.h"
#include "platform/Utf8Text.h"
#include "toolkit/Image.h"
#include "toolkit/NavigationController.h"

namespace kesto {
namespace {

constexpr const char* kHelpFolder = "help";

// The whole file as UTF-8 text; nothing when it cannot be read or is not
// UTF-8 (a page the web view would garble).
std::optional<std::string> readUtf8File(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad() || !Utf8Text::isValid(text)) {
        return std::nullopt;
    }
    return text;
}

}  // namespace

HelpViewController::HelpViewController() : ViewController("HelpViewController") {
    setTabBarItem({LocalizedStrings::localizedString("Tab_Help"),
                   Image::imageNamed("Onglet_I_icon_2.png"), 1});
}

void HelpViewController::declareBindings(Bindings& bindings) {
    bindings.outlet("webView", webView_);
}

void HelpViewController::viewDidLoad() {
    ViewController::viewDidLoad();
    if (NavigationController* navigation = navigationController()) {
        navigation->setNavigationBarHidden(true, false);
    }
    loadHelpPage();
}

void HelpViewController::loadHelpPage() {
    if (!webView_) {
        return;
    }
    const std::string name = LocalizedStrings::localizedString("Kesto_help_path");
    const auto path = ResourceLocator::pathForResource(name, "html", kHelpFolder);
    if (!path) {
        Console::logf("Help page %s.html not found", name.c_str());
        return;
    }
    auto html = readUtf8File(*path);
    if (!html) {
        Console::logf("Help page %s is not readable UTF-8 text", path->c_str());
        return;
    }
    webView_->loadHTMLString(std::move(*html), WebView::fileURLWithPath(*path));
}

}  // namespace kesto
