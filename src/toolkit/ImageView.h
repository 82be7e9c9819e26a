#pragma once

#include <optional>

#include "toolkit/Image.h"
#include "toolkit/View.h"

namespace kesto {

// Shows one image (or nothing).
//
// Threads: main thread only.
class ImageView : public View {
  public:
    ViewKind kind() const override { return ViewKind::ImageView; }

    const std::optional<Image>& image() const { return image_; }
    void setImage(std::optional<Image> image) { image_ = std::move(image); }

  private:
    std::optional<Image> image_;
};

}  // namespace kesto
