#include "camera/CaptureSession.h"

#include "platform/Console.h"
#include "platform/NotificationCenter.h"

namespace kesto {

CaptureSession::CaptureSession() = default;

CaptureSession::~CaptureSession() = default;

void CaptureSession::commitConfiguration() {
    if (configurationDepth_ > 0) {
        --configurationDepth_;
    }
}

void CaptureSession::setSampleBufferDelegate(SampleBufferDelegate* delegate,
                                             std::unique_ptr<SerialQueue> queue) {
    delegate_ = delegate;
    queue_ = std::move(queue);
}

void CaptureSession::startRunning() {
    if (running_.exchange(true)) {
        return;
    }
    streamEnded_.store(false);
    start();
}

void CaptureSession::stopRunning() {
    if (!running_.exchange(false)) {
        return;
    }
    stop();
    // A frame already queued sees the session stopped and is dropped; wait
    // for the one being delivered, so the caller may tear things down.
    if (queue_ && !queue_->isCurrent()) {
        queue_->drain();
    }
}

void CaptureSession::shutDown() {
    stopRunning();
    if (queue_ && !queue_->isCurrent()) {
        queue_->drain();
    }
}

void CaptureSession::dispatch(std::function<void()> work) {
    if (queue_) {
        queue_->async(std::move(work));
    }
}

void CaptureSession::deliver(const FrameBitmap& frame) {
    if (!running_.load() || delegate_ == nullptr) {
        return;
    }
    if (pixelFormat_ != kPixelFormatBGRA) {
        if (!formatRefusalLogged_) {
            formatRefusalLogged_ = true;
            Console::log("Frames dropped: the engine reads BGRA frames only");
        }
        return;
    }
    delegate_->didOutputSampleBuffer(frame);
}

void CaptureSession::endOfStream(const char* why) {
    if (!streamEnded_.exchange(true)) {
        Console::logf("Capture stream ended: %s", why);
    }
}

void CaptureSession::postRuntimeError() {
    NotificationCenter::defaultCenter().post(kRuntimeErrorNotification, this);
}

}  // namespace kesto
