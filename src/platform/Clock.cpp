#include "platform/Clock.h"

#include <atomic>
#include <chrono>

namespace kesto {
namespace {

std::atomic<bool> manualMode{false};
std::atomic<double> manualSeconds{0.0};

Date systemNow() {
    using namespace std::chrono;
    const auto since = system_clock::now().time_since_epoch();
    return Date::fromUnixSeconds(duration_cast<duration<double>>(since).count());
}

}  // namespace

Date Clock::now() {
    if (manualMode.load(std::memory_order_acquire)) {
        return Date::fromUnixSeconds(manualSeconds.load(std::memory_order_acquire));
    }
    return systemNow();
}

void Clock::setManual(Date date) {
    manualSeconds.store(date.unixSeconds(), std::memory_order_release);
    manualMode.store(true, std::memory_order_release);
}

void Clock::advance(double seconds) {
    double current = manualSeconds.load(std::memory_order_acquire);
    while (!manualSeconds.compare_exchange_weak(current, current + seconds,
                                                std::memory_order_acq_rel)) {
    }
}

void Clock::useSystemTime() {
    manualMode.store(false, std::memory_order_release);
}

bool Clock::isManual() {
    return manualMode.load(std::memory_order_acquire);
}

}  // namespace kesto
