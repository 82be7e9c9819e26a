#pragma once

#include <cstddef>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace kesto {

// How many uploads one client address may make: a bucket of `burst` uploads
// per address, refilled at `perSecond`; an upload with the bucket empty is
// refused (429) until it refills. A device sending its backlog
// (`kesto upload --pending`) fits in the burst. At most `maxAddresses`
// addresses are remembered: the one heard from least recently is forgotten
// first, which hands it a full bucket again, never less.
// A rate of 0 turns the limit off.
//
// Time is Clock's, so tests move it by hand.
// Threads: any.
class UploadLimiter {
  public:
    UploadLimiter(double perSecond, double burst, std::size_t maxAddresses = 10000);

    // True, taking one upload from `address`'s bucket, or false when empty.
    bool allow(std::string_view address);
    // Seconds until `address` may upload again (0 when it may now), for Retry-After.
    double wait(std::string_view address) const;

  private:
    struct Bucket {
        double tokens = 0.0;
        double updated = 0.0;  // Unix seconds
        std::list<std::string>::iterator age;
    };
    double refilled(const Bucket& bucket, double now) const;

    const double perSecond_;
    const double burst_;
    const std::size_t maxAddresses_;
    mutable std::mutex mutex_;
    std::unordered_map<std::string, Bucket> buckets_;
    std::list<std::string> recency_;  // front: heard from least recently
};

}  // namespace kesto
