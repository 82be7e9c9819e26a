#include "camera/ContinuousCaptureBackend.h"

#include <algorithm>

#include "platform/SerialQueue.h"

namespace kesto {

// A session that reads the continuous capture: starting it attaches it,
// stopping it detaches it (waiting for the frame it is being handed).
class ContinuousCaptureBackend::Attached final : public CaptureSession {
  public:
    explicit Attached(ContinuousCaptureBackend& capture) : capture_(capture) {}
    ~Attached() override { shutDown(); }

    std::size_t deliverDueFrames() override { return capture_.deliverDueFrames(); }
    void take(const FrameBitmap& frame) { deliver(frame); }

  protected:
    void start() override { capture_.attach(this); }
    void stop() override { capture_.detach(this); }

  private:
    ContinuousCaptureBackend& capture_;
};

ContinuousCaptureBackend::ContinuousCaptureBackend(std::unique_ptr<CaptureBackend> source)
    : source_(std::move(source)) {}

ContinuousCaptureBackend::~ContinuousCaptureBackend() {
    stop();
}

void ContinuousCaptureBackend::start(SampleBufferDelegate& permanent) {
    if (session_) {
        return;
    }
    permanent_ = &permanent;
    // Configured as a screen's capture controller configures its own.
    session_ = source_->createSession();
    session_->beginConfiguration();
    session_->setSessionPreset(CaptureSession::kPresetMedium);
    session_->addInput(source_->defaultDevice());
    session_->setSampleBufferDelegate(this, std::make_unique<SerialQueue>("myQueue"));
    session_->setMinFrameDuration(1.0 / 10.0);
    session_->setPixelFormat(CaptureSession::kPixelFormatBGRA);
    session_->commitConfiguration();
    session_->startRunning();
}

void ContinuousCaptureBackend::stop() {
    if (session_) {
        session_->stopRunning();
        session_.reset();
    }
}

void ContinuousCaptureBackend::restart() {
    if (session_) {
        session_->stopRunning();
        session_->startRunning();
    }
}

bool ContinuousCaptureBackend::isRunning() const {
    return session_ && session_->isRunning();
}

std::size_t ContinuousCaptureBackend::deliverDueFrames() {
    return session_ ? session_->deliverDueFrames() : 0;
}

std::unique_ptr<CaptureSession> ContinuousCaptureBackend::createSession() {
    return std::make_unique<Attached>(*this);
}

void ContinuousCaptureBackend::didOutputSampleBuffer(const FrameBitmap& frame) {
    permanent_->didOutputSampleBuffer(frame);
    std::lock_guard lock(mutex_);
    for (Attached* session : attached_) {
        session->take(frame);
    }
}

void ContinuousCaptureBackend::attach(Attached* session) {
    std::lock_guard lock(mutex_);
    if (std::find(attached_.begin(), attached_.end(), session) == attached_.end()) {
        attached_.push_back(session);
    }
}

void ContinuousCaptureBackend::detach(Attached* session) {
    std::lock_guard lock(mutex_);
    std::erase(attached_, session);
}

}  // namespace kesto
