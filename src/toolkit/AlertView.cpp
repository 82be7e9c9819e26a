#include "toolkit/AlertView.h"

#include "platform/RunLoop.h"
#include "toolkit/Application.h"

namespace kesto {

AlertView::AlertView(std::string title, std::string message, AlertViewDelegate* delegate,
                     std::string cancelButtonTitle, std::vector<std::string> otherButtonTitles)
    : title_(std::move(title)), message_(std::move(message)), delegate_(delegate) {
    if (!cancelButtonTitle.empty()) {
        buttons_.push_back(std::move(cancelButtonTitle));
    }
    for (auto& t : otherButtonTitles) {
        buttons_.push_back(std::move(t));
    }
}

void AlertView::show(std::unique_ptr<AlertView> alert) {
    if (!alert) {
        return;
    }
    if (RunLoop::isMainThread()) {
        Application::sharedApplication().showAlert(std::move(alert));
        return;
    }
    // std::function needs a copyable callable: carry the alert in a shared holder.
    auto holder = std::make_shared<std::unique_ptr<AlertView>>(std::move(alert));
    RunLoop::main().dispatch(
        [holder] { Application::sharedApplication().showAlert(std::move(*holder)); });
}

}  // namespace kesto
