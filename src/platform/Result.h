#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace kesto {

// Why an operation failed, in words a person can read, e.g.
// "cannot open /data/radiationHistory.txt: Permission denied".
struct Failure {
    std::string reason;
};

inline Failure fail(std::string reason) {
    return Failure{std::move(reason)};
}

// The one way an operation tells its caller that it failed: it gives a value,
// or the reason it could not. Exceptions are kept for usage errors (a broken
// precondition, a bug); an operation a person's input or the world can make
// fail returns a Result.
//
//   Result<Profile> profile = CameraProfileFile::read(path);
//   if (!profile) { console.error(profile.error()); return 1; }
//   use(*profile);
//
// Reading the value of a failure, or the reason of a success, is a usage
// error and throws std::logic_error.
// Threads: a value; use it from one thread at a time.
template <typename T>
class [[nodiscard]] Result {
  public:
    using value_type = T;

    Result(Failure failure) : state_(std::in_place_index<1>, std::move(failure)) {}
    template <typename U = T>
    requires(std::is_constructible_v<T, U&&> && !std::is_same_v<std::remove_cvref_t<U>, Result> &&
             !std::is_same_v<std::remove_cvref_t<U>, Failure>) Result(U&& value)
        : state_(std::in_place_index<0>, std::forward<U>(value)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { return checkedValue(*this); }
    const T& value() const& { return checkedValue(*this); }
    T&& value() && { return std::move(checkedValue(*this)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T&& operator*() && { return std::move(*this).value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    template <typename U>
    T value_or(U&& fallback) const& {
        return ok() ? std::get<0>(state_) : static_cast<T>(std::forward<U>(fallback));
    }

    const std::string& error() const {
        if (ok()) {
            throw std::logic_error("Result::error() on a success");
        }
        return std::get<1>(state_).reason;
    }
    // The failure itself, to pass up unchanged: `return result.failure();`
    Failure failure() const { return Failure{error()}; }

  private:
    template <typename Self>
    static auto& checkedValue(Self& self) {
        if (!self.ok()) {
            throw std::logic_error("Result::value() on a failure: " +
                                   std::get<1>(self.state_).reason);
        }
        return std::get<0>(self.state_);
    }

    std::variant<T, Failure> state_;
};

// An operation that gives nothing back but may fail: `return {};` on success.
template <>
class [[nodiscard]] Result<void> {
  public:
    Result() = default;
    Result(Failure failure) : failure_(std::move(failure)) {}

    bool ok() const { return !failure_.has_value(); }
    explicit operator bool() const { return ok(); }

    const std::string& error() const {
        if (ok()) {
            throw std::logic_error("Result::error() on a success");
        }
        return failure_->reason;
    }
    Failure failure() const { return Failure{error()}; }

  private:
    std::optional<Failure> failure_;
};

}  // namespace kesto
