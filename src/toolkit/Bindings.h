#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace kesto {

class View;

// The outlets and actions a class offers to its layout, by name:
//
//     void MeasureViewController::declareBindings(Bindings& b) {
//         b.outlet("lblVD", lblVD);            // Label*& field
//         b.action("toggleDetection", [this] { toggleDetection(); });
//     }
//
// A layout that names an outlet or action missing here, or wires an outlet
// to a view of the wrong kind, fails to load.
//
// Threads: main thread, during a layout load.
class Bindings {
  public:
    struct Outlet {
        std::function<bool(View*)> accepts;  // is the view of the field's type?
        std::function<void(View*)> assign;
    };

    template <typename T>
    void outlet(std::string name, T*& field) {
        outlets_[std::move(name)] =
            Outlet{[](View* view) { return dynamic_cast<T*>(view) != nullptr; },
                   [&field](View* view) { field = dynamic_cast<T*>(view); }};
    }
    void action(std::string name, std::function<void()> action) {
        actions_[std::move(name)] = std::move(action);
    }

    const Outlet* findOutlet(std::string_view name) const {
        const auto it = outlets_.find(name);
        return it == outlets_.end() ? nullptr : &it->second;
    }
    const std::function<void()>* findAction(std::string_view name) const {
        const auto it = actions_.find(name);
        return it == actions_.end() ? nullptr : &it->second;
    }

  private:
    std::map<std::string, Outlet, std::less<>> outlets_;
    std::map<std::string, std::function<void()>, std::less<>> actions_;
};

}  // namespace kesto
