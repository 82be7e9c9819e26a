#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "camera/CaptureDevice.h"
#include "camera/SampleBufferDelegate.h"
#include "engine/FrameBitmap.h"
#include "platform/SerialQueue.h"

namespace kesto {

// One capture chain: an input device, an output that hands BGRA frames to a
// delegate on a serial delivery queue, and start/stop. The backends (camera,
// pipeline, simulator, raw replay) derive from it and produce the frames.
//
// A failure while running is posted as kRuntimeErrorNotification through
// the default notification centre, with the failing session as sender.
//
// Threads: configuration, start and stop on the main thread; frames reach
// the delegate on the delivery queue only. After stopRunning returns, or
// once the session is destroyed, no frame reaches the delegate any more.
class CaptureSession {
  public:
    static constexpr const char* kRuntimeErrorNotification =
        "AVCaptureSessionRuntimeErrorNotification";
    static constexpr const char* kPresetMedium = "AVCaptureSessionPresetMedium";
    // 'BGRA': blue, green, red, alpha bytes.
    static constexpr std::uint32_t kPixelFormatBGRA = 0x42475241;

    CaptureSession();
    virtual ~CaptureSession();
    CaptureSession(const CaptureSession&) = delete;
    CaptureSession& operator=(const CaptureSession&) = delete;

    // Changes made between the two take effect together (at the commit).
    void beginConfiguration() { ++configurationDepth_; }
    void commitConfiguration();
    // Every backend delivers frames of its own source's size: the preset is
    // the chain's request (kPresetMedium), taken and left as it is.
    void setSessionPreset(std::string_view /*preset*/) {}
    void addInput(CaptureDevice* device) { input_ = device; }
    // The output: frames go to `delegate` on `queue`, which the session keeps.
    void setSampleBufferDelegate(SampleBufferDelegate* delegate,
                                 std::unique_ptr<SerialQueue> queue);
    void setMinFrameDuration(double seconds) { minFrameDuration_ = seconds; }
    void setPixelFormat(std::uint32_t format) { pixelFormat_ = format; }

    // Starting a running session, or stopping a stopped one, changes nothing.
    void startRunning();
    void stopRunning();
    bool isRunning() const { return running_.load(); }
    // The source said it has no more frames (a pipeline's end of stream, a
    // replay run out) since the last start. Any thread.
    bool streamEnded() const { return streamEnded_.load(); }

    // When the clock is manual, paced sources (simulator, raw replay) deliver
    // nothing by themselves: this hands over every frame due by now and
    // returns how many. Other sessions deliver as their source produces.
    virtual std::size_t deliverDueFrames() { return 0; }

    CaptureDevice* input() const { return input_; }
    double minFrameDuration() const { return minFrameDuration_; }
    SerialQueue* queue() const { return queue_.get(); }

  protected:
    // Backends start and stop producing frames here.
    virtual void start() = 0;
    virtual void stop() = 0;

    // Queues `work` (which produces a frame and calls deliver) on the
    // delivery queue; does nothing without a queue.
    void dispatch(std::function<void()> work);
    // On the delivery queue: hands one frame to the delegate, unless the
    // session has been stopped since the frame was produced. Frames in any
    // format but BGRA are refused (one console line).
    void deliver(const FrameBitmap& frame);
    void postRuntimeError();
    // Any thread: the source has no more frames (one console line).
    void endOfStream(const char* why);
    // Every backend's destructor calls this first: stops production and waits
    // for the frame in flight, so no queued work outlives the backend.
    void shutDown();

  private:
    int configurationDepth_ = 0;
    CaptureDevice* input_ = nullptr;
    SampleBufferDelegate* delegate_ = nullptr;
    std::unique_ptr<SerialQueue> queue_;
    double minFrameDuration_ = 0.0;
    std::uint32_t pixelFormat_ = kPixelFormatBGRA;
    std::atomic<bool> running_{false};
    std::atomic<bool> streamEnded_{false};
    bool formatRefusalLogged_ = false;  // delivery queue only
};

}  // namespace kesto
