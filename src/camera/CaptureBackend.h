#pragma once

#include <memory>
#include <string>

#include "camera/CaptureDevice.h"
#include "camera/CaptureSession.h"
#include "camera/SensorSpec.h"
#include "platform/Result.h"

namespace kesto {

class ContinuousCaptureBackend;
class SimulatedSensor;

// Where frames come from: plays the phone's camera, capture session and
// output. One backend is chosen per process (select, or KESTO_SENSOR at
// first use, or the camera); every capture controller builds its
// sessions from it.
//
// Threads: current(), select() and the factories on the main thread; a
// backend's accessors from any thread.
class CaptureBackend {
  public:
    virtual ~CaptureBackend() = default;

    // A new, stopped session reading this backend's source.
    virtual std::unique_ptr<CaptureSession> createSession() = 0;
    // The default camera, or null when there is none. Owned by the backend.
    virtual CaptureDevice* defaultDevice() = 0;
    // What is read, e.g. "camera /dev/video0", "simulated sensor (0.50 μSv/h)".
    virtual std::string description() const = 0;
    // True when frames are made up, not measured: front ends must say so.
    virtual bool isSimulated() const { return false; }
    // The simulator, for front ends that change its rate or lens; null otherwise.
    virtual SimulatedSensor* simulatedSensor() { return nullptr; }

    // Builds the backend of a sensor selection; fails when it cannot (a raw
    // directory that does not exist, a pipeline that does not build).
    static Result<std::unique_ptr<CaptureBackend>> create(const SensorSpec& spec);

    // The process's backend, made at first use from KESTO_SENSOR (the
    // default camera when unset). An unusable KESTO_SENSOR is logged and gives a
    // backend without frames rather than anything passed off as a sensor.
    static CaptureBackend& current();
    // Chooses the process's backend; only before the first use of
    // current(), and only once: refused otherwise.
    static Result<void> select(const SensorSpec& spec);
    // An always-on station: the process's backend becomes a
    // ContinuousCaptureBackend over the chosen one (current() then answers
    // it). Idempotent. Main thread, before any session is made.
    static ContinuousCaptureBackend& makeContinuous();
};

}  // namespace kesto
