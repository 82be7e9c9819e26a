#pragma once

#include <cstddef>
#include <string>

namespace kesto {

class TextField;

// A span of a text field's text, in bytes of its UTF-8 text.
struct TextRange {
    std::size_t location = 0;
    std::size_t length = 0;
    bool operator==(const TextRange&) const = default;
};

// What a text field asks and tells while a person edits it. Every operation
// has the behaviour of a field without delegate as its default.
//
// Threads: main thread.
class TextFieldDelegate {
  public:
    virtual ~TextFieldDelegate() = default;
    virtual void textFieldDidBeginEditing(TextField& textField);
    // Asked before every edit: replace `range` with `replacement`? (An empty
    // replacement deletes.)
    virtual bool shouldChangeCharactersInRange(TextField& textField, TextRange range,
                                               const std::string& replacement);
    // Asked when the return key is pressed; the field stays in editing
    // unless the delegate ends it.
    virtual bool textFieldShouldReturn(TextField& textField);
};

}  // namespace kesto
