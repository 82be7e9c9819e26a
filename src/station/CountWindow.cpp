#include "station/CountWindow.h"

#include <algorithm>
#include <cmath>

namespace kesto {

CountWindow::CountWindow(double longestSeconds)
    // One slot more than the longest window: the second still filling.
    : slots_(static_cast<std::size_t>(std::max(1.0, std::ceil(longestSeconds))) + 1) {}

std::int64_t CountWindow::secondOf(Date date) {
    return static_cast<std::int64_t>(std::floor(date.unixSeconds()));
}

void CountWindow::add(Date at, double seconds, std::int64_t events) {
    const std::int64_t second = secondOf(at);
    const auto size = static_cast<std::int64_t>(slots_.size());
    Slot& slot = slots_[static_cast<std::size_t>(((second % size) + size) % size)];
    if (slot.second != second) {
        slot = Slot{second, 0.0f, 0};
    }
    slot.seconds += static_cast<float>(seconds);
    slot.events += static_cast<std::uint32_t>(std::max<std::int64_t>(0, events));
}

CountWindow::Count CountWindow::sum(Date now, double seconds) const {
    const std::int64_t last = secondOf(now);
    const auto size = static_cast<std::int64_t>(slots_.size());
    const std::int64_t span =
        std::clamp<std::int64_t>(static_cast<std::int64_t>(std::ceil(seconds)), 0, size - 1);
    Count count;
    for (const Slot& slot : slots_) {
        if (slot.second <= last && slot.second > last - span) {
            count.seconds += slot.seconds;
            count.events += slot.events;
        }
    }
    return count;
}

}  // namespace kesto
