#include "toolkit/Driver.h"

#include <nlohmann/json.hpp>

#include "platform/ThreadCheck.h"
#include "toolkit/Button.h"
#include "toolkit/ImageView.h"
#include "toolkit/Label.h"
#include "toolkit/NavigationController.h"
#include "toolkit/TabBarController.h"
#include "toolkit/TableView.h"
#include "toolkit/TextField.h"
#include "toolkit/ViewKinds.h"
#include "toolkit/WebView.h"

namespace kesto {
namespace {

using nlohmann::json;

// Joins pieces by appending (GCC 12 misreads `"literal" + std::string&&`).
template <typename... Pieces>
std::string join(const Pieces&... pieces) {
    std::string out;
    (out.append(std::string_view(pieces)), ...);
    return out;
}

json rectJson(Rect r) {
    return json::array({r.origin.x, r.origin.y, r.size.width, r.size.height});
}

json colorJson(const std::optional<Color>& c) {
    if (!c) {
        return nullptr;
    }
    return json::array({c->red, c->green, c->blue, c->alpha});
}

json imageJson(const std::optional<Image>& image) {
    return image ? json(image->name()) : json(nullptr);
}

void addControls(View& view, Point origin, json& out);

// A table's visible rows, each with its cell's controls where they are on screen.
json tableRowsJson(TableView& table, Point at) {
    json rows = json::array();
    for (const auto& row : table.visibleRows()) {
        const Point rowAt{at.x + row.frame.origin.x,
                          at.y + row.frame.origin.y - table.contentOffset()};
        row.cell->displayIfNeeded();
        json controls = json::array();
        for (const auto& child : row.cell->subviews()) {
            addControls(*child, rowAt, controls);
        }
        rows.push_back({{"section", row.indexPath.section},
                        {"row", row.indexPath.row},
                        {"frame", rectJson(Rect{rowAt, row.frame.size})},
                        {"reuseIdentifier", row.cell->reuseIdentifier()},
                        {"backgroundColor", colorJson(row.cell->backgroundColor())},
                        {"controls", std::move(controls)}});
    }
    return rows;
}

// What a control of `view`'s kind shows beyond every view's frame and colour.
void addKindFields(View& view, Point at, json& c) {
    switch (view.kind()) {
        case ViewKind::Label: {
            const auto& label = static_cast<Label&>(view);
            c["text"] = label.text();
            c["numberOfLines"] = label.numberOfLines();
            c["textColor"] = colorJson(label.textColor());
            break;
        }
        case ViewKind::Button: {
            const auto& button = static_cast<Button&>(view);
            const auto title = button.currentTitle();
            c["title"] = title ? json(*title) : json(nullptr);
            c["image"] = imageJson(button.currentImage());
            c["titleColor"] = colorJson(button.currentTitleColor());
            c["enabled"] = button.isEnabled();
            c["action"] = button.actionName();
            break;
        }
        case ViewKind::ImageView:
            c["image"] = imageJson(static_cast<ImageView&>(view).image());
            break;
        case ViewKind::TextField: {
            const auto& field = static_cast<TextField&>(view);
            c["text"] = field.text();
            c["placeholder"] = field.placeholder();
            c["editing"] = field.isEditing();
            if (field.maxLength() != 0) {
                c["maxLength"] = field.maxLength();
            }
            break;
        }
        case ViewKind::WebView: {
            const auto& web = static_cast<WebView&>(view);
            c["html"] = web.html();
            c["baseURL"] = web.baseURL();
            break;
        }
        case ViewKind::TableView: {
            auto& table = static_cast<TableView&>(view);
            table.layoutIfNeeded();
            c["contentOffset"] = table.contentOffset();
            c["contentHeight"] = table.contentHeight();
            c["rows"] = tableRowsJson(table, at);
            break;
        }
        case ViewKind::View:
        case ViewKind::TableViewCell:
            break;
    }
}

json controlJson(View& view, Point at) {
    const Rect f = view.frame();
    json c = {{"kind", viewKindInfo(view.kind()).name},
              {"frame", rectJson(Rect{at, f.size})},
              {"hidden", view.isHiddenOnScreen()}};
    if (!view.outletName().empty()) {
        c["outlet"] = view.outletName();
    }
    if (!view.className().empty()) {
        c["class"] = view.className();
    }
    if (view.backgroundColor()) {
        c["backgroundColor"] = colorJson(view.backgroundColor());
    }
    if (view.tag() != 0) {
        c["tag"] = view.tag();
    }
    addKindFields(view, at, c);
    if (!view.displayList().empty() || !view.className().empty()) {
        json list = json::array();
        for (const auto& command : view.displayList()) {
            list.push_back({{"op", command.op}, {"values", command.values}});
        }
        c["displayList"] = std::move(list);
    }
    return c;
}

// `origin`: where the superview's top-left corner is on screen.
void addControls(View& view, Point origin, json& out) {
    const Point at{origin.x + view.frame().origin.x, origin.y + view.frame().origin.y};
    out.push_back(controlJson(view, at));
    for (const auto& child : view.subviews()) {
        addControls(*child, at, out);
    }
}

json screenControls(ViewController& screen) {
    View* root = screen.view();
    root->displayIfNeeded();
    json controls = json::array();
    addControls(*root, Point{}, controls);
    return controls;
}

// The leaf of the chain of shown children (tab → navigation stack → top).
ViewController* shownLeaf(ViewController* vc) {
    while (vc && vc->visibleChild()) {
        vc = vc->visibleChild();
    }
    return vc;
}

// The first modal anywhere under `vc`: shown children first, then the rest.
ViewController* findModal(ViewController* vc) {
    if (!vc) {
        return nullptr;
    }
    for (ViewController* c = vc; c; c = c->visibleChild()) {
        if (c->modalViewController()) {
            return c->modalViewController();
        }
    }
    for (ViewController* child : vc->children()) {
        if (ViewController* m = findModal(child)) {
            return m;
        }
    }
    return nullptr;
}

ViewController* topOf(ViewController* vc) {
    ViewController* modal = findModal(vc);
    return modal ? topOf(modal) : shownLeaf(vc);
}

}  // namespace

Driver::Driver(Application& application) : application_(application) {}

ViewController* Driver::tabScreen() const {
    Window* window = application_.window();
    return window ? shownLeaf(window->rootViewController()) : nullptr;
}

ViewController* Driver::topScreen() const {
    Window* window = application_.window();
    return window ? topOf(window->rootViewController()) : nullptr;
}

View* Driver::findControl(std::string_view outlet) const {
    ViewController* screen = topScreen();
    return screen ? screen->view()->findByOutletName(outlet) : nullptr;
}

nlohmann::json Driver::snapshot() {
    KESTO_CHECK_MAIN_THREAD();
    json s;
    Window* window = application_.window();
    ViewController* root = window ? window->rootViewController() : nullptr;
    ViewController* screen = tabScreen();
    ViewController* top = topScreen();
    s["screen"] = screen ? json(screen->nibName()) : json(nullptr);
    s["top"] = top ? json(top->nibName()) : json(nullptr);
    s["navigationBarHidden"] = screen && screen->navigationController()
                                   ? screen->navigationController()->isNavigationBarHidden()
                                   : true;
    s["controls"] = screen ? screenControls(*screen) : json::array();
    if (top && top != screen) {
        s["modal"] = {{"screen", top->nibName()}, {"controls", screenControls(*top)}};
    } else {
        s["modal"] = nullptr;
    }
    if (const AlertView* alert = application_.visibleAlert()) {
        s["alert"] = {{"title", alert->title()},
                      {"message", alert->message()},
                      {"buttons", alert->buttonTitles()},
                      {"tag", alert->tag()}};
    } else {
        s["alert"] = nullptr;
    }
    if (auto* tabs = dynamic_cast<TabBarController*>(root)) {
        json items = json::array();
        for (ViewController* tab : tabs->viewControllers()) {
            // A navigation stack shows its root screen's item.
            ViewController* owner = tab;
            if (auto* nav = dynamic_cast<NavigationController*>(tab)) {
                owner = nav->rootViewController() ? nav->rootViewController() : tab;
            }
            const TabBarItem& item = owner->tabBarItem();
            items.push_back(
                {{"title", item.title}, {"image", imageJson(item.image)}, {"tag", item.tag}});
        }
        const double height = window->frame().size.height;
        s["tabBar"] = {{"frame", rectJson(Rect::make(0, height - TabBarController::kTabBarHeight,
                                                     window->frame().size.width,
                                                     TabBarController::kTabBarHeight))},
                       {"selectedIndex", tabs->selectedIndex()},
                       {"items", std::move(items)}};
    } else {
        s["tabBar"] = nullptr;
    }
    s["idleTimerDisabled"] = application_.isIdleTimerDisabled();
    return s;
}

Result<void> Driver::refuseWhenCovered() const {
    if (application_.visibleAlert()) {
        return fail("an alert is up");
    }
    if (!topScreen()) {
        return fail("nothing on screen");
    }
    return {};
}

Result<void> Driver::tap(std::string_view name) {
    KESTO_CHECK_MAIN_THREAD();
    if (auto covered = refuseWhenCovered(); !covered) {
        return covered;
    }
    View* view = findControl(name);
    if (!view) {
        // A button without outlet is found by its action.
        std::vector<View*> stack{topScreen()->view()};
        while (!stack.empty() && !view) {
            View* v = stack.back();
            stack.pop_back();
            if (v->kind() == ViewKind::Button && static_cast<Button*>(v)->actionName() == name) {
                view = v;
            }
            for (const auto& child : v->subviews()) {
                stack.push_back(child.get());
            }
        }
    }
    const std::string quoted = join("'", name, "'");
    if (!view) {
        return fail(join("no control ", quoted, " on screen"));
    }
    if (view->isHiddenOnScreen()) {
        return fail(join(quoted, " is hidden"));
    }
    if (view->kind() == ViewKind::TextField) {
        static_cast<TextField*>(view)->becomeFirstResponder();
        return {};
    }
    if (view->kind() != ViewKind::Button) {
        return fail(join(quoted, " does not respond to taps"));
    }
    auto* button = static_cast<Button*>(view);
    if (!button->isEnabled()) {
        return fail(join(quoted, " is disabled"));
    }
    if (!button->sendAction()) {
        return fail(join(quoted, " has no action"));
    }
    return {};
}

Result<void> Driver::tapTab(int index) {
    KESTO_CHECK_MAIN_THREAD();
    if (auto covered = refuseWhenCovered(); !covered) {
        return covered;
    }
    Window* window = application_.window();
    auto* tabs = dynamic_cast<TabBarController*>(window->rootViewController());
    if (!tabs) {
        return fail("no tab bar");
    }
    if (topScreen() != tabScreen()) {
        return fail("a modal screen covers the tab bar");
    }
    if (index < 0 || static_cast<std::size_t>(index) >= tabs->count()) {
        return fail(join("no tab ", std::to_string(index)));
    }
    tabs->tapTab(index);  // a refusal by the delegate is the app's answer, not an error
    return {};
}

Result<void> Driver::answerAlert(int index) {
    KESTO_CHECK_MAIN_THREAD();
    const AlertView* alert = application_.visibleAlert();
    if (!alert) {
        return fail("no alert is up");
    }
    if (!application_.answerAlert(index)) {
        return fail(join("the alert has no button ", std::to_string(index)));
    }
    return {};
}

template <typename Act>
Result<void> Driver::withTextField(std::string_view outlet, Act act) {
    KESTO_CHECK_MAIN_THREAD();
    if (auto covered = refuseWhenCovered(); !covered) {
        return covered;
    }
    View* view = findControl(outlet);
    const std::string quoted = join("'", outlet, "'");
    if (!view || view->kind() != ViewKind::TextField) {
        return fail(join("no text field ", quoted, " on screen"));
    }
    if (view->isHiddenOnScreen()) {
        return fail(join(quoted, " is hidden"));
    }
    return act(*static_cast<TextField*>(view), quoted);
}

Result<void> Driver::beginEditing(std::string_view outlet) {
    return withTextField(outlet, [](TextField& field, const std::string&) -> Result<void> {
        field.becomeFirstResponder();
        return {};
    });
}

Result<void> Driver::typeText(std::string_view outlet, const std::string& text) {
    return withTextField(
        outlet, [&text](TextField& field, const std::string& quoted) -> Result<void> {
            if (!field.isEditing()) {
                return fail(join(quoted, " is not being edited"));
            }
            const std::size_t limit = field.maxLength();
            if (limit != 0 &&
                TextField::characterCount(field.text()) + TextField::characterCount(text) > limit) {
                return fail(join("The text is too long: at most ", std::to_string(limit),
                                 " characters fit here."));
            }
            // One key per character, as a keyboard sends them.
            for (std::size_t i = 0; i < text.size();) {
                std::size_t n = 1;
                while (i + n < text.size() &&
                       (static_cast<unsigned char>(text[i + n]) & 0xC0) == 0x80) {
                    ++n;
                }
                field.insertText(text.substr(i, n));
                i += n;
            }
            return {};
        });
}

Result<void> Driver::deleteBackward(std::string_view outlet) {
    return withTextField(outlet, [](TextField& field, const std::string& quoted) -> Result<void> {
        if (!field.isEditing()) {
            return fail(join(quoted, " is not being edited"));
        }
        field.deleteBackward();
        return {};
    });
}

Result<void> Driver::pressReturn(std::string_view outlet) {
    return withTextField(outlet, [](TextField& field, const std::string& quoted) -> Result<void> {
        if (!field.isEditing()) {
            return fail(join(quoted, " is not being edited"));
        }
        field.pressReturn();
        return {};
    });
}

Result<void> Driver::scrollTable(std::string_view outlet, double offset) {
    KESTO_CHECK_MAIN_THREAD();
    if (auto covered = refuseWhenCovered(); !covered) {
        return covered;
    }
    View* view = findControl(outlet);
    if (!view || view->kind() != ViewKind::TableView) {
        return fail(join("no table '", outlet, "' on screen"));
    }
    static_cast<TableView*>(view)->setContentOffset(offset);
    return {};
}

Result<void> Driver::apply(const ActionVocabulary::Action& action) {
    using Kind = ActionVocabulary::Kind;
    switch (action.kind) {
        case Kind::Tap:
            return tap(action.target);
        case Kind::TapTab:
            return tapTab(action.index);
        case Kind::AnswerAlert:
            return answerAlert(action.index);
        case Kind::BeginEditing:
            return beginEditing(action.target);
        case Kind::DeleteBackward:
            return deleteBackward(action.target);
        case Kind::Return:
            return pressReturn(action.target);
        case Kind::Type:
            return typeText(action.target, action.text);
        case Kind::Scroll:
            return scrollTable(action.target, action.offset);
    }
    return fail("not an action a person can do");
}

nlohmann::json Driver::perform(const nlohmann::json& action) {
    KESTO_CHECK_MAIN_THREAD();
    if (action.is_object() && action.size() == 1 && action.value("action", "") == "snapshot") {
        return {{"ok", true}, {"snapshot", snapshot()}};
    }
    const auto read = ActionVocabulary::read(action);
    const Result<void> done = read ? apply(*read) : Result<void>(read.failure());
    if (!done) {
        return {{"ok", false}, {"error", done.error()}};
    }
    return {{"ok", true}};
}

}  // namespace kesto
