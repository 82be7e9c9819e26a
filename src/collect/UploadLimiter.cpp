#include "collect/UploadLimiter.h"

#include <algorithm>
#include <cmath>

#include "platform/Clock.h"

namespace kesto {

UploadLimiter::UploadLimiter(double perSecond, double burst, std::size_t maxAddresses)
    : perSecond_(perSecond),
      burst_(std::max(1.0, burst)),
      maxAddresses_(std::max<std::size_t>(1, maxAddresses)) {}

double UploadLimiter::refilled(const Bucket& bucket, double now) const {
    // A clock set back refills nothing.
    const double elapsed = std::max(0.0, now - bucket.updated);
    return std::min(burst_, bucket.tokens + elapsed * perSecond_);
}

bool UploadLimiter::allow(std::string_view address) {
    if (perSecond_ <= 0.0) {
        return true;
    }
    const double now = Clock::now().unixSeconds();
    const std::lock_guard lock(mutex_);
    auto found = buckets_.find(std::string(address));
    if (found == buckets_.end()) {
        if (buckets_.size() >= maxAddresses_) {
            buckets_.erase(recency_.front());
            recency_.pop_front();
        }
        recency_.emplace_back(address);
        found =
            buckets_.emplace(std::string(address), Bucket{burst_, now, std::prev(recency_.end())})
                .first;
    } else {
        recency_.splice(recency_.end(), recency_, found->second.age);
    }
    Bucket& bucket = found->second;
    bucket.tokens = refilled(bucket, now);
    bucket.updated = now;
    if (bucket.tokens < 1.0) {
        return false;
    }
    bucket.tokens -= 1.0;
    return true;
}

double UploadLimiter::wait(std::string_view address) const {
    if (perSecond_ <= 0.0) {
        return 0.0;
    }
    const std::lock_guard lock(mutex_);
    const auto found = buckets_.find(std::string(address));
    if (found == buckets_.end()) {
        return 0.0;
    }
    const double tokens = refilled(found->second, Clock::now().unixSeconds());
    return tokens >= 1.0 ? 0.0 : (1.0 - tokens) / perSecond_;
}

}  // namespace kesto
