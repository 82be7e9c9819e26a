#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "camera/CaptureSession.h"
#include "camera/FrameSource.h"
#include "platform/Date.h"
#include "platform/Timer.h"

namespace kesto {

// A session that takes frames from a FrameSource at a steady pace, one every
// minimum frame duration (10 a second), counted from the start.
//
// With the system clock a pacing thread hands each frame to the delivery
// queue when it is due; a frame still being analysed when the next is due
// makes the next one skipped, never queued up. With a manual clock the
// frames follow the clock instead: a repeating timer on the main run loop,
// one frame period apart, hands every frame due by the clock's now to the
// delivery queue and waits for it (deliverDueFrames()), so stepping the main
// loop through simulated time (RunLoop::runFor) delivers each frame at its
// due time, in order with the loop's other timers, and what the frame makes
// the engine post has happened before the step returns. Frame 0 goes at the
// first pass after the start. deliverDueFrames() may also be called directly.
//
// Threads: as CaptureSession; with a manual clock, start and stop on the main
// thread (the timer is the main loop's); deliverDueFrames on the main thread.
class PacedCaptureSession : public CaptureSession {
  public:
    explicit PacedCaptureSession(std::shared_ptr<FrameSource> source);
    ~PacedCaptureSession() override;

    std::size_t deliverDueFrames() override;

  protected:
    void start() override;
    void stop() override;

  private:
    double period() const;
    // Main thread: drops the manual clock's stepping timer and first frame.
    void stopStepping();
    void pace();
    // On the delivery queue: renders and delivers one frame.
    void produceFrame();

    std::shared_ptr<FrameSource> source_;
    std::vector<std::uint8_t> buffer_;  // delivery queue only
    bool sourceEnded_ = false;          // delivery queue only

    Date startDate_;                  // main thread
    std::uint64_t framesDue_ = 0;     // main thread (manual clock)
    std::unique_ptr<Timer> stepper_;  // main thread (manual clock)
    std::atomic<bool> inFlight_{false};

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;  // guarded by mutex_
    std::thread pacer_;
};

}  // namespace kesto
