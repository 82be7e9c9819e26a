#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "collect/MeasurementStore.h"
#include "collect/UploadedMeasurement.h"
#include "platform/Result.h"

namespace kesto {

// Uploads on their way into the store: one writer thread takes whatever has
// queued up (at most kMaxBatch) and stores it in one transaction, so that
// many uploads share one flush to disk; each upload's answer is called only
// once its transaction has committed (or failed; then each upload of the
// batch is tried alone, so one the database refuses fails alone). The queue holds at most
// `capacity` uploads: past that submit() refuses, and the server says busy
// rather than holding more in memory.
//
// Threads: submit() from any thread; `done` runs on the writer thread.
// Destruction waits for the queued uploads to be stored and answered.
class CommitQueue {
  public:
    static constexpr std::size_t kMaxBatch = 128;
    using Done = std::function<void(Result<MeasurementStore::Outcome>)>;

    explicit CommitQueue(MeasurementStore& store, std::size_t capacity = 1024);
    ~CommitQueue();
    CommitQueue(const CommitQueue&) = delete;
    CommitQueue& operator=(const CommitQueue&) = delete;

    // False (and `done` never called) when the queue is full or stopping.
    bool submit(UploadedMeasurement measurement, Done done);
    std::size_t queued() const;

  private:
    struct Pending {
        UploadedMeasurement measurement;
        Done done;
    };
    void run();

    MeasurementStore& store_;
    const std::size_t capacity_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Pending> pending_;
    bool stopping_ = false;
    std::thread writer_;
};

}  // namespace kesto
