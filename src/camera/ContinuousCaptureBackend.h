#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "camera/CaptureBackend.h"
#include "camera/CaptureSession.h"
#include "camera/SampleBufferDelegate.h"

namespace kesto {

// Capture that never stops, for an always-on station: one session of the
// chosen backend runs from start() to stop(), so the camera is opened once.
// Each frame goes first to the permanent delegate (the station's own
// analysis), then to every session made by createSession() that is running
// at that moment: the screens' capture controllers attach to the running
// camera when they start and detach when they stop, and never open it.
//
// The sessions made here keep their contract: after stopRunning() returns no
// frame reaches their delegate. Frames reach them on the continuous
// session's delivery thread.
//
// Threads: construction, start(), stop(), restart() and the made sessions'
// configuration, start and stop on the main thread; frames on the continuous
// session's delivery queue, one at a time.
class ContinuousCaptureBackend : public CaptureBackend, private SampleBufferDelegate {
  public:
    explicit ContinuousCaptureBackend(std::unique_ptr<CaptureBackend> source);
    ~ContinuousCaptureBackend() override;

    // Opens the source and delivers its frames, to `permanent` first, until
    // stop(). `permanent` must outlive the capture.
    void start(SampleBufferDelegate& permanent);
    void stop();
    // Stops and starts the source again (a camera that went silent).
    void restart();
    bool isRunning() const;
    // Hands over the frames due by a manual clock (see CaptureSession).
    std::size_t deliverDueFrames();

    // The backend chosen for the process, which this one reads.
    CaptureBackend& source() { return *source_; }

    std::unique_ptr<CaptureSession> createSession() override;
    CaptureDevice* defaultDevice() override { return source_->defaultDevice(); }
    std::string description() const override { return source_->description(); }
    bool isSimulated() const override { return source_->isSimulated(); }
    SimulatedSensor* simulatedSensor() override { return source_->simulatedSensor(); }

  private:
    class Attached;

    void didOutputSampleBuffer(const FrameBitmap& frame) override;
    void attach(Attached* session);
    // Waits for the frame being handed to `session`, if any.
    void detach(Attached* session);

    std::unique_ptr<CaptureBackend> source_;
    std::unique_ptr<CaptureSession> session_;    // main thread
    SampleBufferDelegate* permanent_ = nullptr;  // set before the session starts

    std::mutex mutex_;                 // held while a frame is handed to the attached sessions
    std::vector<Attached*> attached_;  // guarded by mutex_
};

}  // namespace kesto
