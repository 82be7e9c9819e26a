#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "toolkit/TextFieldDelegate.h"
#include "toolkit/View.h"

namespace kesto {

// A single-line text field. Editing goes through the person's actions:
// becomeFirstResponder (tap into it), insertText / deleteBackward (keys,
// each asked of the delegate first), pressReturn.
//
// Threads: main thread only.
class TextField : public View {
  public:
    ViewKind kind() const override { return ViewKind::TextField; }

    const std::string& text() const { return text_; }
    // Sets the text directly (the program, not the keyboard): no delegate call.
    void setText(std::string text) { text_ = std::move(text); }
    const std::string& placeholder() const { return placeholder_; }
    void setPlaceholder(std::string text) { placeholder_ = std::move(text); }

    // The most characters (not bytes) the field takes; 0: no bound.
    std::size_t maxLength() const { return maxLength_; }
    void setMaxLength(std::size_t characters) { maxLength_ = characters; }
    // The characters in `text` (UTF-8 sequences).
    static std::size_t characterCount(std::string_view text);

    TextFieldDelegate* delegate() const { return delegate_; }
    void setDelegate(TextFieldDelegate* delegate) { delegate_ = delegate; }

    bool isEditing() const { return editing_; }
    // Starts an editing pass (keyboard up); the delegate hears of it each
    // time. While a pass runs it does nothing: the keyboard is already up.
    void becomeFirstResponder();
    // Ends the editing pass (keyboard down).
    void resignFirstResponder() { editing_ = false; }

    // A key typed at the end of the text; false when the delegate refused it,
    // the field is full or not being edited.
    bool insertText(const std::string& text);
    // The backspace key: removes the last character (whole UTF-8 sequence).
    bool deleteBackward();
    // The return key: the delegate's answer (true without delegate).
    bool pressReturn();

  private:
    bool replace(TextRange range, const std::string& replacement);

    std::string text_;
    std::string placeholder_;
    std::size_t maxLength_ = 0;
    TextFieldDelegate* delegate_ = nullptr;
    bool editing_ = false;
};

}  // namespace kesto
