#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "camera/CaptureBackend.h"
#include "camera/VirtualCaptureDevice.h"

namespace kesto::test {

// A backend whose sessions write what is done to them ("start", "stop",
// "begin", "commit") into one shared log, and deliver frames only when told.
class RecordingCaptureBackend : public CaptureBackend {
  public:
    class Session : public CaptureSession {
      public:
        explicit Session(RecordingCaptureBackend& backend) : backend_(backend) {}
        ~Session() override { shutDown(); }
        // Hands `frame` to the delegate on the delivery queue and waits.
        void push(const FrameBitmap& frame) {
            queue()->sync([this, &frame] { deliver(frame); });
        }
        void fail() { postRuntimeError(); }

      protected:
        void start() override { backend_.record("start"); }
        void stop() override { backend_.record("stop"); }

      private:
        RecordingCaptureBackend& backend_;
    };

    explicit RecordingCaptureBackend(std::unique_ptr<CaptureDevice> device)
        : device_(std::move(device)) {}

    std::unique_ptr<CaptureSession> createSession() override {
        return std::make_unique<Session>(*this);
    }
    CaptureDevice* defaultDevice() override { return device_.get(); }
    std::string description() const override { return "recording backend"; }

    void record(const std::string& what) {
        std::lock_guard lock(mutex_);
        log_.push_back(what);
    }
    std::vector<std::string> takeLog() {
        std::lock_guard lock(mutex_);
        return std::exchange(log_, {});
    }

  private:
    std::unique_ptr<CaptureDevice> device_;
    std::mutex mutex_;
    std::vector<std::string> log_;
};

}  // namespace kesto::test
