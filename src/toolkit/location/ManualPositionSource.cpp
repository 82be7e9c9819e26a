#include "toolkit/location/ManualPositionSource.h"

namespace kesto {

void ManualPositionSource::start(PositionSink sink) {
    std::lock_guard lock(mutex_);
    sink_ = std::move(sink);
    ++starts_;
}

void ManualPositionSource::stop() {
    std::lock_guard lock(mutex_);
    sink_.reset();
}

// The sink is called under the lock, so stop() cannot return while a
// delivery is under way.
bool ManualPositionSource::deliver(const Location& location) {
    std::lock_guard lock(mutex_);
    if (!sink_) {
        return false;
    }
    sink_->fix(location);
    return true;
}

bool ManualPositionSource::fail(const std::string& error) {
    std::lock_guard lock(mutex_);
    if (!sink_) {
        return false;
    }
    sink_->failure(error);
    return true;
}

int ManualPositionSource::startCount() const {
    std::lock_guard lock(mutex_);
    return starts_;
}

}  // namespace kesto
