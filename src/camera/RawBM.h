#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kesto {

// A raw dump of a block of bytes (typically a BGRA frame), written unchanged
// into a file named after a title, for offline study (`kesto analyze`).
// Immutable after construction; any thread.
class RawBM {
  public:
    // Copies `size` bytes from `bytes`; the caller's buffer may change later.
    RawBM(const std::uint8_t* bytes, std::uint32_t size, std::string title);

    // Writes the bytes into `directory`/<name from the title> and logs
    // "Image saved (<path>, <ms> ms)". A title that is not ASCII, a name that
    // would leave the directory, or a file that cannot be written: nothing
    // is written, one console line says why.
    void save(const std::string& directory) const;

    // The file name made from a title: ":" becomes "."; the first "+" and
    // the five characters after it (or all that follow, if fewer) go away.
    static std::string fileNameForTitle(const std::string& title);

    const std::vector<std::uint8_t>& bitmap() const { return bitmap_; }
    const std::string& title() const { return title_; }
    std::uint32_t bitmapSz() const { return bitmapSz_; }

  private:
    std::vector<std::uint8_t> bitmap_;
    std::string title_;
    std::uint32_t bitmapSz_;
};

}  // namespace kesto
