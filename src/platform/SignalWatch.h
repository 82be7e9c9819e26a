#pragma once

#include <csignal>
#include <cstdint>
#include <functional>

namespace kesto {

class RunLoop;

// Turns SIGINT, SIGTERM and SIGHUP into run-loop events while it lives:
// the signals are blocked and read from a signalfd on `loop`, so the
// handler runs on the loop's thread between two passes, never inside an
// interrupted call. The previous signal mask comes back when it goes. When
// no signalfd can be made, the signals act as usual.
//
// Threads: the loop's thread only (build, handler, destroy). Build it before
// any other thread starts, so that none inherits the signals unblocked.
class SignalWatch {
  public:
    using Handler = std::function<void(int signalNumber)>;

    SignalWatch(RunLoop& loop, Handler handler);
    ~SignalWatch();
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

  private:
    RunLoop& loop_;
    sigset_t previous_{};
    std::uint64_t watch_ = 0;
};

}  // namespace kesto
