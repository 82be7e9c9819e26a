#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "toolkit/location/PositionSource.h"

namespace kesto {

// Fixes and failures injected by hand, from any thread: tests of what a
// delegate accepts choose each fix's accuracy and time stamp. Injections
// while stopped go nowhere (and answer false).
class ManualPositionSource final : public PositionSource {
  public:
    void start(PositionSink sink) override;
    void stop() override;

    bool deliver(const Location& location);
    bool fail(const std::string& error);
    int startCount() const;

  private:
    mutable std::mutex mutex_;
    std::optional<PositionSink> sink_;
    int starts_ = 0;
};

}  // namespace kesto
