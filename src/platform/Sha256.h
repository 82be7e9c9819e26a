#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kesto {

// SHA-256 (FIPS 180-4), for the device identifier: small, no library.
//
// Threads: any; an object is used by one thread at a time.
class Sha256 {
  public:
    Sha256();
    void update(std::string_view bytes);
    std::array<std::uint8_t, 32> finish();

    // The digest of `bytes` as 64 lower-case hex digits.
    static std::string hexDigest(std::string_view bytes);

  private:
    void block(const std::uint8_t* p);

    std::array<std::uint32_t, 8> h_;
    std::array<std::uint8_t, 64> buffer_{};
    std::size_t buffered_ = 0;
    std::uint64_t length_ = 0;
};

}  // namespace kesto
