#include "toolkit/location/LocationManager.h"

#include "platform/RunLoop.h"
#include "platform/ThreadCheck.h"
#include "toolkit/internal/NoPositionSource.h"

namespace kesto {

// One start of updates. Deliveries from the source's thread hold the
// session, never the manager; the manager pointer is read and cleared on
// the main thread only, so a delivery queued before a stop (or before the
// manager's end) finds it null and goes no further.
struct LocationManager::Session {
    LocationManager* manager;
};

LocationManager::LocationManager(std::unique_ptr<PositionSource> source)
    : source_(source ? std::move(source) : std::make_unique<NoPositionSource>()) {}

LocationManager::~LocationManager() {
    if (session_) {
        stopUpdatingLocation();
    }
}

void LocationManager::setDesiredAccuracy(double metres) {
    KESTO_CHECK_MAIN_THREAD();
    desiredAccuracy_ = metres;
}

void LocationManager::setDelegate(LocationManagerDelegate* delegate) {
    KESTO_CHECK_MAIN_THREAD();
    delegate_ = delegate;
}

void LocationManager::startUpdatingLocation() {
    KESTO_CHECK_MAIN_THREAD();
    if (session_) {
        stopUpdatingLocation();
    }
    auto session = std::make_shared<Session>(Session{this});
    session_ = session;
    PositionSink sink;
    sink.fix = [session](const Location& fix) {
        RunLoop::main().dispatch([session, fix] {
            if (session->manager) {
                session->manager->receiveFix(fix);
            }
        });
    };
    sink.failure = [session](const std::string& error) {
        RunLoop::main().dispatch([session, error] {
            if (session->manager) {
                session->manager->receiveFailure(error);
            }
        });
    };
    source_->start(std::move(sink));
}

void LocationManager::stopUpdatingLocation() {
    KESTO_CHECK_MAIN_THREAD();
    if (!session_) {
        return;
    }
    session_->manager = nullptr;
    session_.reset();
    source_->stop();
}

void LocationManager::receiveFix(const Location& fix) {
    const std::optional<Location> previous = std::exchange(location_, fix);
    if (delegate_) {
        delegate_->didUpdateToLocation(*this, fix, previous ? &*previous : nullptr);
    }
}

void LocationManager::receiveFailure(const std::string& error) {
    if (delegate_) {
        delegate_->didFailWithError(*this, error);
    }
}

}  // namespace kesto
