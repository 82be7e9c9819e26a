#pragma once

#include <utility>

namespace kesto {

// Owns one file descriptor and closes it when it goes away, like
// std::unique_ptr does for memory. -1 means "none".
// Threads: a value; use it from one thread at a time.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { reset(); }

    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    explicit operator bool() const { return valid(); }

    // Gives the descriptor up without closing it.
    int release() { return std::exchange(fd_, -1); }

    // Closes the held descriptor (if any) and holds fd instead.
    void reset(int fd = -1);

    // Closes now and reports close()'s result (0, or -1 with errno set): a
    // writer must learn whether its data reached the file.
    int close();

  private:
    int fd_ = -1;
};

}  // namespace kesto
