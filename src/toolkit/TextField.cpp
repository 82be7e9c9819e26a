#include "toolkit/TextField.h"

namespace kesto {

void TextFieldDelegate::textFieldDidBeginEditing(TextField&) {}

bool TextFieldDelegate::shouldChangeCharactersInRange(TextField&, TextRange, const std::string&) {
    return true;
}

bool TextFieldDelegate::textFieldShouldReturn(TextField&) {
    return true;
}

std::size_t TextField::characterCount(std::string_view text) {
    std::size_t count = 0;
    for (const char c : text) {
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    }
    return count;
}

void TextField::becomeFirstResponder() {
    if (editing_) {
        return;  // a tap into the field being edited starts no new pass
    }
    editing_ = true;
    if (delegate_) {
        delegate_->textFieldDidBeginEditing(*this);
    }
}

bool TextField::replace(TextRange range, const std::string& replacement) {
    if (!editing_ || range.location > text_.size() ||
        range.length > text_.size() - range.location) {
        return false;
    }
    if (maxLength_ != 0 && characterCount(text_) -
                                   characterCount(text_.substr(range.location, range.length)) +
                                   characterCount(replacement) >
                               maxLength_) {
        return false;
    }
    if (delegate_ && !delegate_->shouldChangeCharactersInRange(*this, range, replacement)) {
        return false;
    }
    text_.replace(range.location, range.length, replacement);
    return true;
}

bool TextField::insertText(const std::string& text) {
    return replace(TextRange{text_.size(), 0}, text);
}

bool TextField::deleteBackward() {
    if (text_.empty()) {
        // The key still reaches the delegate, as an empty edit at the start.
        return replace(TextRange{0, 0}, "");
    }
    std::size_t start = text_.size() - 1;
    while (start > 0 && (static_cast<unsigned char>(text_[start]) & 0xC0) == 0x80) {
        --start;  // continuation byte: step back to the character's first byte
    }
    return replace(TextRange{start, text_.size() - start}, "");
}

bool TextField::pressReturn() {
    if (!editing_) {
        return false;
    }
    return delegate_ ? delegate_->textFieldShouldReturn(*this) : true;
}

}  // namespace kesto
