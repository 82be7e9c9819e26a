#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/NoDestructor.h"

namespace kesto {

// Classes by name, for objects that a resource names: the custom views of
// layouts ("Camembert", "HistoryCell") and the application delegate of the
// main interface ("KestoAppDelegate"). The owning code registers its classes
// at start-up (registration by static initialiser is lost in static
// libraries).
//
// Threads: any thread.
template <typename Base>
class ClassRegistry {
  public:
    using Factory = std::function<std::unique_ptr<Base>()>;

    static void registerClass(std::string name, Factory factory) {
        auto& s = state();
        std::lock_guard lock(s.mutex);
        s.factories[std::move(name)] = std::move(factory);
    }
    // A new object of that class, or nullptr when no such class is registered.
    static std::unique_ptr<Base> create(std::string_view name) {
        Factory factory;
        {
            auto& s = state();
            std::lock_guard lock(s.mutex);
            const auto it = s.factories.find(name);
            if (it == s.factories.end()) {
                return nullptr;
            }
            factory = it->second;
        }
        return factory();
    }

  private:
    struct State {
        std::mutex mutex;
        std::map<std::string, Factory, std::less<>> factories;
    };
    static State& state() {
        static NoDestructor<State> instance;
        return instance.get();
    }
};

}  // namespace kesto
