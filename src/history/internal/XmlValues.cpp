#include "history/internal/XmlValues.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <vector>

#include "platform/ParseNumber.h"

namespace kesto {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool digitsAt(std::string_view text, std::size_t at, std::size_t count) {
    return text.size() >= at + count &&
           std::all_of(text.begin() + at, text.begin() + at + count, isDigit);
}

int numberAt(std::string_view text, std::size_t at, std::size_t count) {
    int value = 0;
    std::from_chars(text.data() + at, text.data() + at + count, value);
    return value;
}

bool equalsIgnoringCase(std::string_view text, std::string_view lower) {
    return text.size() == lower.size() &&
           std::equal(text.begin(), text.end(), lower.begin(),
                      [](char a, char b) { return (a >= 'A' && a <= 'Z' ? a + 32 : a) == b; });
}

bool isReal(std::string_view text) {
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        text.remove_prefix(1);
    }
    if (equalsIgnoringCase(text, "inf") || equalsIgnoringCase(text, "infinity") ||
        equalsIgnoringCase(text, "nan")) {
        return true;
    }
    std::size_t i = 0;
    std::size_t digits = 0;
    const auto run = [&] {
        const std::size_t start = i;
        while (i < text.size() && isDigit(text[i])) {
            ++i;
        }
        return i - start;
    };
    digits += run();
    if (i < text.size() && text[i] == '.') {
        ++i;
        digits += run();
    }
    if (digits == 0) {
        return false;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            ++i;
        }
        if (run() == 0) {
            return false;
        }
    }
    return i == text.size();
}

std::optional<std::int64_t> integerOf(std::string_view text) {
    const std::size_t sign = !text.empty() && text[0] == '-' ? 1 : 0;
    // No sign other than '-', no leading zeros (some readers take them as octal).
    if (text.size() == sign || !isDigit(text[sign]) ||
        (text[sign] == '0' && text.size() > sign + 1)) {
        return std::nullopt;
    }
    return parseNumber<std::int64_t>(text);
}

// Shown in a message: printable ASCII, at most 40 bytes.
std::string shown(std::string_view text) {
    std::string out;
    for (char c : text.substr(0, 40)) {
        out += c >= 0x20 && c < 0x7F ? c : '?';
    }
    return text.size() > 40 ? out + "..." : out;
}

std::string quoted(std::string_view text) {
    std::string out(1, '\'');
    out += shown(text);
    out += '\'';
    return out;
}

struct Container {
    bool array = false;
    std::size_t items = 0;
    std::string_view key;
};

std::string where(std::string_view document, std::size_t at, const std::vector<Container>& open) {
    std::string text =
        "line " + std::to_string(std::count(document.begin(), document.begin() + at, '\n') + 1);
    for (std::size_t i = 0; i < open.size(); ++i) {
        if (open[i].array) {
            text += (i == 0 ? ", record " : ", item ") +
                    std::to_string(open[i].items == 0 ? 0 : open[i].items - 1);
        } else if (!open[i].key.empty()) {
            text += ", " + shown(open[i].key);
        }
    }
    return text;
}

// YYYY-MM-DDTHH:MM:SSZ, a real UTC time in years 1000…9999.
bool isDate(std::string_view t) {
    if (t.size() != 20 || !digitsAt(t, 0, 4) || t[4] != '-' || !digitsAt(t, 5, 2) || t[7] != '-' ||
        !digitsAt(t, 8, 2) || t[10] != 'T' || !digitsAt(t, 11, 2) || t[13] != ':' ||
        !digitsAt(t, 14, 2) || t[16] != ':' || !digitsAt(t, 17, 2) || t[19] != 'Z') {
        return false;
    }
    const int year = numberAt(t, 0, 4);
    const int month = numberAt(t, 5, 2);
    const int day = numberAt(t, 8, 2);
    const int hour = numberAt(t, 11, 2);
    const int minute = numberAt(t, 14, 2);
    const int second = numberAt(t, 17, 2);
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return year >= 1000 && month >= 1 && month <= 12 && day >= 1 &&
           day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0) && hour <= 23 && minute <= 59 &&
           second <= 59;
}

Result<void> checkValue(std::string_view name, std::string_view text, std::string_view key) {
    if (name == "integer") {
        const auto value = integerOf(text);
        if (!value) {
            return fail(quoted(text) + " is not an integer within 64 bits");
        }
        if (key == "numberOfParticules" && (*value < INT32_MIN || *value > INT32_MAX)) {
            return fail(quoted(text) + " is a particle count beyond 32 bits");
        }
        return {};
    }
    if (name == "real") {
        if (!isReal(text)) {
            return fail(quoted(text) + " is not a decimal number");
        }
        return {};
    }
    if (!isDate(text)) {
        return fail(quoted(text) + " is not a date YYYY-MM-DDTHH:MM:SSZ in years 1000 to 9999");
    }
    return {};
}

// One pass over the document's tags: the containers open at each point, the
// key a dictionary's next value sits under, and the nesting depth.
class ValueScan {
  public:
    explicit ValueScan(std::string_view document) : document_(document) {}

    Result<void> run() {
        while ((pos_ = document_.find('<', pos_)) != std::string_view::npos) {
            if (skipMarkup()) {
                continue;
            }
            const std::size_t close = document_.find('>', pos_);
            if (close == std::string_view::npos) {
                return {};  // unfinished: libplist refuses it
            }
            const Tag tag = readTag(close);
            pos_ = close + 1;
            if (tag.closing) {
                leave(tag.name);
                continue;
            }
            if (!tag.empty && ++depth_ > XmlValues::kNestingLimit) {
                return fail("nested far deeper than a history");
            }
            if (auto entered = enter(tag); !entered) {
                return fail(where(document_, tag.start, open_) + ": " + entered.error());
            }
        }
        return {};
    }

  private:
    struct Tag {
        std::string_view name;
        std::size_t start = 0;
        bool closing = false;
        bool empty = false;  // <name/>
    };

    static bool isContainer(std::string_view name) { return name == "array" || name == "dict"; }

    // Comments, CDATA sections, declarations and processing instructions
    // hold no value: passed over whole. True when one was.
    bool skipMarkup() {
        const std::string_view rest = document_.substr(pos_);
        const std::string_view end = rest.substr(0, 4) == "<!--"        ? "-->"
                                     : rest.substr(0, 9) == "<![CDATA[" ? "]]>"
                                     : rest.substr(0, 2) == "<?" || rest.substr(0, 2) == "<!" ? ">"
                                                                                              : "";
        if (end.empty()) {
            return false;
        }
        const std::size_t at = document_.find(end, pos_);
        pos_ = at == std::string_view::npos ? document_.size() : at + end.size();
        return true;
    }

    Tag readTag(std::size_t close) const {
        Tag tag;
        tag.start = pos_;
        tag.closing = document_[pos_ + 1] == '/';
        const std::size_t nameStart = pos_ + (tag.closing ? 2 : 1);
        std::size_t nameEnd = nameStart;
        while (nameEnd < close && document_[nameEnd] != '/' && document_[nameEnd] != ' ' &&
               document_[nameEnd] != '\t' && document_[nameEnd] != '\n' &&
               document_[nameEnd] != '\r') {
            ++nameEnd;
        }
        tag.name = document_.substr(nameStart, nameEnd - nameStart);
        tag.empty = document_[close - 1] == '/';
        return tag;
    }

    void leave(std::string_view name) {
        depth_ -= depth_ > 0 ? 1 : 0;
        if (isContainer(name) && !open_.empty()) {
            open_.pop_back();
        }
    }

    Result<void> enter(const Tag& tag) {
        if (tag.name == "key") {
            const std::size_t end = tag.empty ? pos_ : document_.find('<', pos_);
            if (!open_.empty()) {
                open_.back().key = document_.substr(
                    pos_, end == std::string_view::npos ? std::string_view::npos : end - pos_);
            }
            return {};
        }
        if (!open_.empty() && open_.back().array) {
            ++open_.back().items;
        }
        if (isContainer(tag.name)) {
            if (!tag.empty) {
                open_.push_back(Container{tag.name == "array", 0, {}});
            }
            return {};
        }
        if (tag.name != "integer" && tag.name != "real" && tag.name != "date") {
            return {};
        }
        return checkElement(tag);
    }

    // A value element's text, up to its own end tag, which is passed too.
    Result<void> checkElement(const Tag& tag) {
        const std::string_view key = open_.empty() || open_.back().array ? "" : open_.back().key;
        // Built by append: GCC 12 warns falsely (-Wrestrict) on "<" + name.
        std::string name = "<";
        name.append(tag.name);
        if (tag.empty) {
            return fail("an empty " + name + "/> holds no value");
        }
        const std::size_t end = document_.find('<', pos_);
        const std::size_t after = end + 2 + tag.name.size();
        if (end == std::string_view::npos || document_.substr(end, 2) != "</" ||
            document_.substr(end + 2, tag.name.size()) != tag.name || after >= document_.size() ||
            document_[after] != '>') {
            return fail(name + "> holds markup, not a plain value");
        }
        const std::string_view text = document_.substr(pos_, end - pos_);
        pos_ = after + 1;
        --depth_;  // its end tag is passed
        return checkValue(tag.name, text, key);
    }

    std::string_view document_;
    std::vector<Container> open_;
    std::size_t depth_ = 0;
    std::size_t pos_ = 0;
};

}  // namespace

Result<void> XmlValues::check(std::string_view document) {
    return ValueScan(document).run();
}

}  // namespace kesto
