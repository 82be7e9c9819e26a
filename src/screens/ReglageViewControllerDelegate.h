#pragma once

namespace kesto {

// Told once, after the calibration screen has closed itself, that the person
// confirmed the lens is covered again.
//
// Threads: main thread.
class ReglageViewControllerDelegate {
  public:
    virtual void lightTurnsGreen() = 0;

  protected:
    ~ReglageViewControllerDelegate() = default;
};

}  // namespace kesto
