#include "history/internal/RecordChunks.h"

#include <string>

#include "history/internal/XmlValues.h"

namespace kesto {
namespace {

class Scanner {
  public:
    explicit Scanner(std::string_view text) : text_(text) {}

    std::size_t position() const { return pos_; }
    bool atEnd() const { return pos_ == text_.size(); }

    void skipSpace() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                       text_[pos_] == '\n' || text_[pos_] == '\r')) {
            ++pos_;
        }
    }
    bool take(std::string_view literal) {
        if (text_.substr(pos_, literal.size()) != literal) {
            return false;
        }
        pos_ += literal.size();
        return true;
    }
    bool startsWith(std::string_view literal) const {
        return text_.substr(pos_, literal.size()) == literal;
    }
    // Moves past the next `literal`; false when there is none.
    bool skipPast(std::string_view literal) {
        const std::size_t at = text_.find(literal, pos_);
        if (at == std::string_view::npos) {
            return false;
        }
        pos_ = at + literal.size();
        return true;
    }
    // The inside of the tag that starts at the current '<', up to its '>';
    // refuses tags with quotes or a nested '<'.
    bool tag(std::string_view& inside) {
        const std::size_t close = text_.find('>', pos_);
        if (close == std::string_view::npos) {
            return false;
        }
        inside = text_.substr(pos_ + 1, close - pos_ - 1);
        if (inside.find_first_of("<\"'") != std::string_view::npos) {
            return false;
        }
        pos_ = close + 1;
        return true;
    }
    // Moves to the next '<'; false at the end of the text.
    bool toNextTag() {
        const std::size_t at = text_.find('<', pos_);
        if (at == std::string_view::npos) {
            return false;
        }
        pos_ = at;
        return true;
    }

  private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

bool isNameEnd(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '/';
}

// One element from the current '<' to the end of its matching end tag.
bool element(Scanner& s, std::string_view& rootName) {
    std::vector<std::string_view> open;
    do {
        if (s.startsWith("<!") || s.startsWith("<?")) {
            return false;
        }
        const bool closing = s.startsWith("</");
        std::string_view inside;
        if (!s.tag(inside)) {
            return false;
        }
        if (closing) {
            if (open.empty() || inside.substr(1) != open.back()) {
                return false;
            }
            open.pop_back();
        } else {
            const bool empty = !inside.empty() && inside.back() == '/';
            std::size_t n = 0;
            while (n < inside.size() && !isNameEnd(inside[n])) {
                ++n;
            }
            const std::string_view name = inside.substr(0, n);
            if (name.empty() || (!empty && n != inside.size())) {
                return false;
            }
            if (open.empty() && rootName.empty()) {
                rootName = name;
            }
            if (!empty) {
                open.push_back(name);
                if (open.size() > XmlValues::kNestingLimit) {
                    return false;  // refused before the split; bounded here all the same
                }
            }
        }
        if (open.empty()) {
            return true;
        }
    } while (s.toNextTag());
    return false;
}

}  // namespace

bool RecordChunks::split(std::string_view document, std::vector<std::string_view>& chunks) {
    chunks.clear();
    Scanner s(document);
    s.skipSpace();
    // The prolog exactly as writers put it: libplist reads the declaration
    // itself, so any other form is left to the whole-document parse.
    if (s.startsWith("<?") && !s.take("<?xml version=\"1.0\" encoding=\"UTF-8\"?>")) {
        return false;
    }
    s.skipSpace();
    if (s.startsWith("<!") && !s.take("<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                                      "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">")) {
        return false;
    }
    s.skipSpace();
    // The root tag as writers put it; libplist checks its attributes, so any
    // other form is left to the whole-document parse.
    if (!s.take("<plist version=\"1.0\">") && !s.take("<plist>")) {
        return false;
    }
    s.skipSpace();
    if (!s.take("<array>")) {
        return false;
    }
    for (;;) {
        s.skipSpace();
        if (s.take("</array>")) {
            break;
        }
        if (!s.startsWith("<")) {
            return false;
        }
        const std::size_t start = s.position();
        std::string_view name;
        if (!element(s, name) || name != "dict") {
            return false;
        }
        chunks.push_back(document.substr(start, s.position() - start));
    }
    s.skipSpace();
    if (!s.take("</plist>")) {
        return false;
    }
    s.skipSpace();
    return s.atEnd();
}

}  // namespace kesto
