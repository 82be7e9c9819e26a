#pragma once

#include <memory>

namespace kesto {

class RadiationHistoryRecord;

// Receives the record the tag entry screen built on OK; it must close that
// screen (the screen never closes itself after OK).
//
// Threads: main thread.
class RegisterRadioActivityViewControllerDelegate {
  public:
    virtual void registerRadioActivitiy(std::shared_ptr<RadiationHistoryRecord> record) = 0;

  protected:
    ~RegisterRadioActivityViewControllerDelegate() = default;
};

}  // namespace kesto
