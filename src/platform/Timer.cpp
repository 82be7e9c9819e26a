#include "platform/Timer.h"

namespace kesto {

Timer::Timer(Key, RunLoop& loop, double interval) : loop_(loop), interval_(interval) {}

std::unique_ptr<Timer> Timer::scheduledTimer(double interval, bool repeats,
                                             std::function<void()> action) {
    auto timer = std::make_unique<Timer>(Key(), RunLoop::main(), interval);
    timer->id_ = timer->loop_.addTimer(interval, repeats, std::move(action));
    return timer;
}

Timer::~Timer() {
    invalidate();
}

void Timer::invalidate() {
    if (id_ != 0) {
        loop_.removeTimer(id_);
        id_ = 0;
    }
}

bool Timer::isValid() const {
    return id_ != 0 && loop_.hasTimer(id_);
}

Date Timer::fireDate() const {
    return loop_.timerFireDate(id_);
}

}  // namespace kesto
