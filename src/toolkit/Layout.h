#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

#include "toolkit/ClassRegistry.h"
#include "toolkit/LayoutOwner.h"
#include "toolkit/View.h"

namespace kesto {

// Screen layouts: resources/layouts/<Name>.json, one per screen class, read
// when the screen's view is first needed.
//
//   {"class": "MeasureViewController",
//    "outletOwner": "owner" | "root",      // whom outlets/actions bind to
//    "view": NODE}
//
//   NODE: {"kind": "view" | "label" | "button" | "imageView" | "textField" |
//                  "tableView" | "tableViewCell" | "webView",
//          "class": custom class, built through Layout::ViewClasses,
//          "outlet": name, "frame": [x, y, width, height] (points),
//          "hidden": bool, "backgroundColor": [r, g, b, a], "tag": int,
//          "accessibilityLabel", "accessibilityLabelKey",
//          "liveUpdates": "polite" | "timer",
//          label:     "text", "textKey", "numberOfLines", "textColor"
//          button:    "title", "titleKey", "image", "titleColor", "enabled", "action",
//                     "default": bool
//          imageView: "image"
//          textField: "text", "placeholder", "delegate": "owner"
//          tableView: "dataSource": "owner"
//          tableViewCell: "reuseIdentifier", "selectionStyle": "none" | "blue"
//          "subviews": [NODE, ...]}
//
// "textKey"/"titleKey" are looked up through the text lookup (by default
// LocalizedStrings), "text"/"title" are shown as they stand. With "outletOwner":
// "root" the layout binds to its own root object (a custom cell), which must
// be a LayoutOwner.
//
// Any problem (missing or malformed file, unknown kind or class, an outlet or
// action the owner does not declare, an outlet of the wrong kind) is logged
// as "Layout <name>: <problem>" and the load gives nothing, with nothing
// bound: never a half-wired screen.
//
// Threads: main thread.
class Layout {
  public:
    using ViewClasses = ClassRegistry<View>;
    using TextLookup = std::function<std::string(const std::string& key)>;

    static std::unique_ptr<View> load(std::string_view name, LayoutOwner* owner);
    // The same, for a layout whose root is an object of class T (a cell):
    // nothing (logged) when it is not.
    template <typename T>
    static std::unique_ptr<T> loadAs(std::string_view name, LayoutOwner* owner) {
        auto view = load(name, owner);
        if (auto* typed = dynamic_cast<T*>(view.get())) {
            view.release();
            return std::unique_ptr<T>(typed);
        }
        if (view) {
            rootIsOfAnotherClass(name);
        }
        return nullptr;
    }
    static std::unique_ptr<View> loadFromJson(std::string_view name, const nlohmann::json& document,
                                              LayoutOwner* owner);
    // The parsed file, or nothing (logged) when missing or malformed.
    static std::unique_ptr<nlohmann::json> read(std::string_view name);

    // How "textKey"/"titleKey" become texts; empty restores LocalizedStrings.
    static void setTextLookup(TextLookup lookup);
    static std::string lookUpText(const std::string& key);

  private:
    static void rootIsOfAnotherClass(std::string_view name);
};

}  // namespace kesto
