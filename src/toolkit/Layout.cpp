#include "toolkit/Layout.h"

#include <fstream>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/Console.h"
#include "platform/LocalizedStrings.h"
#include "platform/ResourceLocator.h"
#include "toolkit/Button.h"
#include "toolkit/ImageView.h"
#include "toolkit/Label.h"
#include "toolkit/TableView.h"
#include "toolkit/TableViewCell.h"
#include "toolkit/TextField.h"
#include "toolkit/ViewKinds.h"

namespace kesto {
namespace {

using nlohmann::json;

std::mutex& lookupMutex() {
    static std::mutex mutex;
    return mutex;
}

Layout::TextLookup& textLookup() {
    static NoDestructor<Layout::TextLookup> lookup;
    return lookup.get();
}

// Builds one layout, collecting every problem before anything is bound.
class Builder {
  public:
    Builder(std::string_view name, LayoutOwner* owner) : name_(name), owner_(owner) {}

    std::unique_ptr<View> build(const json& document) {
        if (!document.is_object() || !document.contains("view") || !document["view"].is_object()) {
            fail("no \"view\" object at the top");
            return nullptr;
        }
        auto root = node(document["view"], "view");
        const std::string outletOwner = document.value("outletOwner", std::string("owner"));
        if (outletOwner == "root") {
            target_ = dynamic_cast<LayoutOwner*>(root.get());
            if (root && !target_) {
                fail("\"outletOwner\": \"root\" but the root class binds nothing");
            }
        } else if (outletOwner == "owner") {
            target_ = owner_;
        } else {
            fail("unknown outletOwner '" + outletOwner + "'");
        }
        if (!root || !errors_.empty()) {
            return nullptr;
        }
        Bindings bindings;
        if (target_) {
            target_->declareBindings(bindings);
        }
        bind(bindings);
        if (!errors_.empty()) {
            return nullptr;
        }
        for (const auto& apply : applies_) {
            apply();
        }
        return root;
    }

    void fail(const std::string& problem) {
        errors_.push_back(problem);
        Console::logf("Layout %.*s: %s", static_cast<int>(name_.size()), name_.data(),
                      problem.c_str());
    }
    bool failed() const { return !errors_.empty(); }

  private:
    struct OutletUse {
        std::string name;
        View* view;
    };
    struct ActionUse {
        std::string name;
        Button* button;
    };
    struct DelegateUse {
        std::string path;
        View* view;
    };

    std::string text(const json& n, const char* key, const char* lookupKey, const std::string& at) {
        if (n.contains(lookupKey)) {
            if (!n[lookupKey].is_string()) {
                fail(at + ": \"" + lookupKey + "\" is not a string");
                return {};
            }
            return Layout::lookUpText(n[lookupKey].get<std::string>());
        }
        if (n.contains(key)) {
            if (!n[key].is_string()) {
                fail(at + ": \"" + key + "\" is not a string");
                return {};
            }
            return n[key].get<std::string>();
        }
        return {};
    }

    std::optional<std::vector<double>> numbers(const json& n, const char* key, std::size_t count,
                                               const std::string& at) {
        if (!n.contains(key)) {
            return std::nullopt;
        }
        const json& v = n[key];
        if (!v.is_array() || v.size() != count) {
            fail(at + ": \"" + key + "\" needs " + std::to_string(count) + " numbers");
            return std::nullopt;
        }
        std::vector<double> out;
        for (const auto& x : v) {
            if (!x.is_number()) {
                fail(at + ": \"" + key + "\" needs " + std::to_string(count) + " numbers");
                return std::nullopt;
            }
            out.push_back(x.get<double>());
        }
        return out;
    }

    std::optional<Color> color(const json& n, const char* key, const std::string& at) {
        const auto c = numbers(n, key, 4, at);
        if (!c) {
            return std::nullopt;
        }
        return Color{static_cast<float>((*c)[0]), static_cast<float>((*c)[1]),
                     static_cast<float>((*c)[2]), static_cast<float>((*c)[3])};
    }

    std::unique_ptr<View> node(const json& n, const std::string& at) {
        if (!n.is_object()) {
            fail(at + ": not an object");
            return nullptr;
        }
        const std::string kind = n.value("kind", std::string("view"));
        const ViewKindInfo* info = viewKindNamed(kind);
        if (!info) {
            fail(at + ": unknown kind '" + kind + "'");
            return nullptr;
        }
        std::unique_ptr<View> view;
        if (n.contains("class")) {
            const std::string cls = n["class"].is_string() ? n["class"].get<std::string>() : "";
            view = Layout::ViewClasses::create(cls);
            if (!view) {
                fail(at + ": unknown view class '" + cls + "'");
                return nullptr;
            }
            if (view->kind() != info->kind) {
                fail(at + ": class '" + cls + "' is not of kind '" + kind + "'");
                return nullptr;
            }
            view->setClassName(cls);
        } else {
            view = info->make();
        }
        const std::string outlet = n.value("outlet", std::string());
        const std::string here = outlet.empty() ? at : at + " (" + outlet + ")";
        if (!outlet.empty()) {
            view->setOutletName(outlet);
            outlets_.push_back({outlet, view.get()});
        }
        if (const auto f = numbers(n, "frame", 4, here)) {
            view->setFrame(Rect::make((*f)[0], (*f)[1], (*f)[2], (*f)[3]));
        }
        view->setHidden(n.value("hidden", false));
        if (const auto c = color(n, "backgroundColor", here)) {
            view->setBackgroundColor(c);
        }
        view->setTag(n.value("tag", 0));
        view->setAccessibilityLabel(text(n, "accessibilityLabel", "accessibilityLabelKey", here));
        if (const auto live = n.value("liveUpdates", std::string()); live == "polite") {
            view->setLiveUpdates(View::LiveUpdates::Polite);
        } else if (live == "timer") {
            view->setLiveUpdates(View::LiveUpdates::Timer);
        } else if (!live.empty()) {
            fail(here + ": \"liveUpdates\" is \"polite\" or \"timer\"");
        }
        configure(*view, n, here);
        if (n.contains("subviews")) {
            if (!n["subviews"].is_array()) {
                fail(here + ": \"subviews\" is not an array");
            } else {
                for (std::size_t i = 0; i < n["subviews"].size(); ++i) {
                    if (auto child = node(n["subviews"][i], here + "/" + std::to_string(i))) {
                        view->addSubview(std::move(child));
                    }
                }
            }
        }
        return view;
    }

    void configure(View& view, const json& n, const std::string& at) {
        switch (view.kind()) {
            case ViewKind::Label:
                configureLabel(static_cast<Label&>(view), n, at);
                break;
            case ViewKind::Button:
                configureButton(static_cast<Button&>(view), n, at);
                break;
            case ViewKind::ImageView:
                if (n.contains("image")) {
                    static_cast<ImageView&>(view).setImage(image(n["image"], at));
                }
                break;
            case ViewKind::TextField: {
                auto& field = static_cast<TextField&>(view);
                field.setText(text(n, "text", "textKey", at));
                field.setPlaceholder(text(n, "placeholder", "placeholderKey", at));
                if (n.contains("delegate")) {
                    delegates_.push_back({at, &view});
                }
                break;
            }
            case ViewKind::TableView:
                if (n.contains("dataSource")) {
                    delegates_.push_back({at, &view});
                }
                break;
            case ViewKind::TableViewCell:
                configureCell(static_cast<TableViewCell&>(view), n);
                break;
            case ViewKind::View:
            case ViewKind::WebView:
                break;
        }
    }

    void configureLabel(Label& label, const json& n, const std::string& at) {
        label.setText(text(n, "text", "textKey", at));
        label.setNumberOfLines(n.value("numberOfLines", 1));
        if (const auto c = color(n, "textColor", at)) {
            label.setTextColor(*c);
        }
    }

    void configureButton(Button& button, const json& n, const std::string& at) {
        if (n.contains("title") || n.contains("titleKey")) {
            button.setTitle(text(n, "title", "titleKey", at), ControlState::Normal);
        }
        if (n.contains("image")) {
            button.setImage(image(n["image"], at), ControlState::Normal);
        }
        if (const auto c = color(n, "titleColor", at)) {
            button.setTitleColor(c, ControlState::Normal);
        }
        button.setEnabled(n.value("enabled", true));
        button.setDefault(n.value("default", false));
        if (n.contains("action")) {
            actions_.push_back(
                {n["action"].is_string() ? n["action"].get<std::string>() : "", &button});
        }
    }

    static void configureCell(TableViewCell& cell, const json& n) {
        cell.setReuseIdentifier(n.value("reuseIdentifier", std::string()));
        cell.setSelectionStyle(n.value("selectionStyle", std::string("blue")) == "none"
                                   ? CellSelectionStyle::None
                                   : CellSelectionStyle::Blue);
    }

    std::optional<Image> image(const json& v, const std::string& at) {
        if (!v.is_string()) {
            fail(at + ": \"image\" is not a string");
            return std::nullopt;
        }
        // A missing image file shows nothing; it does not break the screen.
        return Image::imageNamed(v.get<std::string>());
    }

    void bind(const Bindings& bindings) {
        for (const auto& use : outlets_) {
            const auto* outlet = bindings.findOutlet(use.name);
            if (!outlet) {
                fail("no outlet '" + use.name + "' in the class it binds to");
                continue;
            }
            if (!outlet->accepts(use.view)) {
                fail("outlet '" + use.name + "' does not take a view of that kind");
                continue;
            }
            View* view = use.view;
            auto assign = outlet->assign;
            applies_.push_back([assign, view] { assign(view); });
        }
        for (const auto& use : actions_) {
            const auto* action = bindings.findAction(use.name);
            if (!action) {
                fail("no action '" + use.name + "' in the class it binds to");
                continue;
            }
            Button* button = use.button;
            auto name = use.name;
            auto call = *action;
            applies_.push_back([button, name, call] { button->setAction(name, call); });
        }
        for (const auto& use : delegates_) {
            if (use.view->kind() == ViewKind::TextField) {
                auto* d = dynamic_cast<TextFieldDelegate*>(target_);
                if (!d) {
                    fail(use.path + ": the owner is no text field delegate");
                    continue;
                }
                auto* field = static_cast<TextField*>(use.view);
                applies_.push_back([field, d] { field->setDelegate(d); });
            } else {
                auto* d = dynamic_cast<TableViewDataSource*>(target_);
                if (!d) {
                    fail(use.path + ": the owner is no table data source");
                    continue;
                }
                auto* table = static_cast<TableView*>(use.view);
                applies_.push_back([table, d] { table->setDataSource(d); });
            }
        }
    }

    std::string_view name_;
    LayoutOwner* owner_;
    LayoutOwner* target_ = nullptr;
    std::vector<std::string> errors_;
    std::vector<OutletUse> outlets_;
    std::vector<ActionUse> actions_;
    std::vector<DelegateUse> delegates_;
    std::vector<std::function<void()>> applies_;
};

}  // namespace

std::unique_ptr<nlohmann::json> Layout::read(std::string_view name) {
    const auto path = ResourceLocator::pathForResource(name, "json", "layouts");
    if (!path) {
        Console::logf("Layout %.*s: no layout file layouts/%.*s.json",
                      static_cast<int>(name.size()), name.data(), static_cast<int>(name.size()),
                      name.data());
        return nullptr;
    }
    std::ifstream in(*path);
    try {
        return std::make_unique<json>(json::parse(in));
    } catch (const json::exception& error) {
        Console::logf("Layout %.*s: malformed file: %s", static_cast<int>(name.size()), name.data(),
                      error.what());
        return nullptr;
    }
}

std::unique_ptr<View> Layout::load(std::string_view name, LayoutOwner* owner) {
    const auto document = read(name);
    return document ? loadFromJson(name, *document, owner) : nullptr;
}

std::unique_ptr<View> Layout::loadFromJson(std::string_view name, const nlohmann::json& document,
                                           LayoutOwner* owner) {
    try {
        Builder builder(name, owner);
        return builder.build(document);
    } catch (const json::exception& error) {
        // A field of the wrong type read with a default (e.g. "tag": "x").
        Console::logf("Layout %.*s: malformed value: %s", static_cast<int>(name.size()),
                      name.data(), error.what());
        return nullptr;
    }
}

void Layout::setTextLookup(TextLookup lookup) {
    std::lock_guard lock(lookupMutex());
    textLookup() = std::move(lookup);
}

std::string Layout::lookUpText(const std::string& key) {
    TextLookup lookup;
    {
        std::lock_guard lock(lookupMutex());
        lookup = textLookup();
    }
    return lookup ? lookup(key) : LocalizedStrings::localizedString(key);
}

void Layout::rootIsOfAnotherClass(std::string_view name) {
    Console::logf("Layout %.*s: its root is not of the class asked for",
                  static_cast<int>(name.size()), name.data());
}

}  // namespace kesto
