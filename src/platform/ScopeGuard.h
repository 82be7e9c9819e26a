#pragma once

#include <utility>

namespace kesto {

// Runs `undo` when the scope ends, unless dismissed: the pair of a C call
// that has no handle to own (a lock, a mapping, a locale switch).
//   lockBaseAddress(buffer);
//   ScopeGuard unlock{[&] { unlockBaseAddress(buffer); }};
// Threads: the thread that made it.
template <typename Undo>
class [[nodiscard]] ScopeGuard {
  public:
    explicit ScopeGuard(Undo undo) : undo_(std::move(undo)) {}
    ~ScopeGuard() {
        if (active_) {
            undo_();
        }
    }
    ScopeGuard(const ScopeGuard&) = delete;
    ScopeGuard& operator=(const ScopeGuard&) = delete;

    // The scope succeeded: nothing to undo.
    void dismiss() { active_ = false; }

  private:
    Undo undo_;
    bool active_ = true;
};

}  // namespace kesto
