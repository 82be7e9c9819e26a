#pragma once

#include <string>

#include "toolkit/View.h"

namespace kesto {

// A read-only text on screen.
//
// Threads: main thread only.
class Label : public View {
  public:
    ViewKind kind() const override { return ViewKind::Label; }

    const std::string& text() const { return text_; }
    void setText(std::string text) { text_ = std::move(text); }
    // 0 for as many lines as the text needs.
    int numberOfLines() const { return numberOfLines_; }
    void setNumberOfLines(int lines) { numberOfLines_ = lines; }
    Color textColor() const { return textColor_; }
    void setTextColor(Color color) { textColor_ = color; }

  private:
    std::string text_;
    int numberOfLines_ = 1;
    Color textColor_ = Color::black();
};

}  // namespace kesto
