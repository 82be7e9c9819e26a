#pragma once

#include <memory>

#include "camera/CaptureBackend.h"
#include "camera/SimulatedSensor.h"
#include "camera/VirtualCaptureDevice.h"

namespace kesto {

// The simulated sensor as a backend: paced sessions that all read the one
// SimulatedSensor (so its rate and lens settings, and its frame numbering,
// carry over from one measurement to the next), and a device that accepts
// every mode.
//
// Threads: as CaptureBackend.
class SimulatedCaptureBackend : public CaptureBackend {
  public:
    // Without a seed it takes a random one (announced when reading starts).
    explicit SimulatedCaptureBackend(const SensorSpec& spec);

    std::unique_ptr<CaptureSession> createSession() override;
    CaptureDevice* defaultDevice() override { return &device_; }
    std::string description() const override { return sensor_->description(); }
    bool isSimulated() const override { return true; }
    SimulatedSensor* simulatedSensor() override { return sensor_.get(); }

  private:
    // Shared with the sessions reading it, which may outlive a test's backend.
    std::shared_ptr<SimulatedSensor> sensor_;
    VirtualCaptureDevice device_{true};
};

}  // namespace kesto
