#include "toolkit/ViewKinds.h"

#include <array>

#include "toolkit/Button.h"
#include "toolkit/ImageView.h"
#include "toolkit/Label.h"
#include "toolkit/TableView.h"
#include "toolkit/TableViewCell.h"
#include "toolkit/TextField.h"
#include "toolkit/WebView.h"

namespace kesto {
namespace {

template <typename T>
std::unique_ptr<View> make() {
    return std::make_unique<T>();
}

// In ViewKind's order, so that a kind is its own index.
constexpr std::array<ViewKindInfo, 8> kKinds{{
    {ViewKind::View, "view", make<View>},
    {ViewKind::Label, "label", make<Label>},
    {ViewKind::Button, "button", make<Button>},
    {ViewKind::ImageView, "imageView", make<ImageView>},
    {ViewKind::TextField, "textField", make<TextField>},
    {ViewKind::TableView, "tableView", make<TableView>},
    {ViewKind::TableViewCell, "tableViewCell", make<TableViewCell>},
    {ViewKind::WebView, "webView", make<WebView>},
}};

constexpr bool inKindOrder() {
    for (std::size_t i = 0; i < kKinds.size(); ++i) {
        if (static_cast<std::size_t>(kKinds[i].kind) != i) {
            return false;
        }
    }
    return true;
}
static_assert(inKindOrder(), "the table lists every kind once, in ViewKind's order");

}  // namespace

std::span<const ViewKindInfo> viewKinds() {
    return kKinds;
}

const ViewKindInfo* viewKindNamed(std::string_view name) {
    for (const auto& info : kKinds) {
        if (info.name == name) {
            return &info;
        }
    }
    return nullptr;
}

const ViewKindInfo& viewKindInfo(ViewKind kind) {
    return kKinds[static_cast<std::size_t>(kind)];
}

}  // namespace kesto
