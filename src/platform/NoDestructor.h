#pragma once

#include <memory>
#include <new>
#include <utility>

namespace kesto {

// Holds a process-wide object that is built on first use and never destroyed,
// so that threads still running at exit never see it torn down.
template <typename T>
class NoDestructor {
  public:
    template <typename... Args>
    explicit NoDestructor(Args&&... args) {
        std::construct_at(reinterpret_cast<T*>(storage_), std::forward<Args>(args)...);
    }
    ~NoDestructor() = default;
    NoDestructor(const NoDestructor&) = delete;
    NoDestructor& operator=(const NoDestructor&) = delete;

    T& get() { return *std::launder(reinterpret_cast<T*>(storage_)); }
    T* operator->() { return &get(); }

  private:
    alignas(T) unsigned char storage_[sizeof(T)];
};

}  // namespace kesto
