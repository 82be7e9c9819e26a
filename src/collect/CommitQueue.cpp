#include "collect/CommitQueue.h"

#include <cmath>
#include <vector>

#include "platform/Clock.h"

namespace kesto {

CommitQueue::CommitQueue(MeasurementStore& store, std::size_t capacity)
    : store_(store), capacity_(capacity), writer_([this] { run(); }) {}

CommitQueue::~CommitQueue() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    writer_.join();
}

bool CommitQueue::submit(UploadedMeasurement measurement, Done done) {
    {
        const std::lock_guard lock(mutex_);
        if (stopping_ || pending_.size() >= capacity_) {
            return false;
        }
        pending_.push_back({std::move(measurement), std::move(done)});
    }
    wake_.notify_one();
    return true;
}

std::size_t CommitQueue::queued() const {
    const std::lock_guard lock(mutex_);
    return pending_.size();
}

void CommitQueue::run() {
    for (;;) {
        std::vector<Pending> batch;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return stopping_ || !pending_.empty(); });
            if (pending_.empty()) {
                return;  // stopping, and everything queued was answered
            }
            while (!pending_.empty() && batch.size() < kMaxBatch) {
                batch.push_back(std::move(pending_.front()));
                pending_.pop_front();
            }
        }
        std::vector<const UploadedMeasurement*> measurements;
        measurements.reserve(batch.size());
        for (const Pending& item : batch) {
            measurements.push_back(&item.measurement);
        }
        const auto received =
            static_cast<std::int64_t>(std::llround(Clock::now().unixSeconds() * 1e6));
        const auto outcomes = store_.storeAll(measurements, received);
        for (std::size_t i = 0; i < batch.size(); ++i) {
            if (outcomes) {
                batch[i].done((*outcomes)[i]);
            } else if (batch.size() == 1) {
                batch[i].done(outcomes.failure());
            } else {
                // One upload the database refuses must not fail the others
                // that shared its transaction: each goes alone once more.
                const auto alone = store_.storeAll({measurements[i]}, received);
                if (alone) {
                    batch[i].done(alone->front());
                } else {
                    batch[i].done(alone.failure());
                }
            }
        }
    }
}

}  // namespace kesto
