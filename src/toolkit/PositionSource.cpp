#include "toolkit/PositionSource.h"

#include "platform/Clock.h"
#include "toolkit/GpsdPositionSource.h"

namespace kesto {

void FixedPositionSource::start(PositionSink sink) {
    sink.fix(Location(latitude_, longitude_));
}

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

bool ManualPositionSource::isStarted() const {
    std::lock_guard lock(mutex_);
    return sink_.has_value();
}

int ManualPositionSource::startCount() const {
    std::lock_guard lock(mutex_);
    return starts_;
}

std::unique_ptr<PositionSource> makePositionSource(const PositionSpec& spec) {
    switch (spec.kind) {
        case PositionSpec::Kind::Fixed:
            return std::make_unique<FixedPositionSource>(spec.latitude, spec.longitude);
        case PositionSpec::Kind::Gpsd:
            return std::make_unique<GpsdPositionSource>(spec.host, spec.port);
        case PositionSpec::Kind::None:
            break;
    }
    return std::make_unique<NoPositionSource>();
}

}  // namespace kesto
