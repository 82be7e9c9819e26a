#pragma once

namespace kesto {

// Told that light reaches the sensor. The engine keeps its delegate but never
// calls it; the detecting screens call it on themselves.
class BitmapProcessorDelegate {
  public:
    virtual void ignoredMaskCamera() = 0;

  protected:
    ~BitmapProcessorDelegate() = default;
};

}  // namespace kesto
