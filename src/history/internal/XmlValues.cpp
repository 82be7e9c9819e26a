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

}  // namespace

Result<void> XmlValues::check(std::string_view document) {
    std::vector<Container> open;
    std::size_t depth = 0;
    std::size_t pos = 0;
    const auto skipPast = [&](std::string_view end) {
        const std::size_t at = document.find(end, pos);
        pos = at == std::string_view::npos ? document.size() : at + end.size();
    };
    while ((pos = document.find('<', pos)) != std::string_view::npos) {
        const std::string_view rest = document.substr(pos);
        if (rest.substr(0, 4) == "<!--") {
            skipPast("-->");
            continue;
        }
        if (rest.substr(0, 9) == "<![CDATA[") {
            skipPast("]]>");
            continue;
        }
        if (rest.substr(0, 2) == "<?" || rest.substr(0, 2) == "<!") {
            skipPast(">");
            continue;
        }
        const std::size_t close = document.find('>', pos);
        if (close == std::string_view::npos) {
            return {};  // unfinished: libplist refuses it
        }
        const bool closing = rest[1] == '/';
        const std::size_t nameStart = pos + (closing ? 2 : 1);
        std::size_t nameEnd = nameStart;
        while (nameEnd < close && document[nameEnd] != '/' && document[nameEnd] != ' ' &&
               document[nameEnd] != '\t' && document[nameEnd] != '\n' &&
               document[nameEnd] != '\r') {
            ++nameEnd;
        }
        const std::string_view name = document.substr(nameStart, nameEnd - nameStart);
        const bool container = name == "array" || name == "dict";
        const bool empty = document[close - 1] == '/';
        const std::size_t start = pos;
        pos = close + 1;
        if (closing) {
            depth -= depth > 0 ? 1 : 0;
            if (container && !open.empty()) {
                open.pop_back();
            }
            continue;
        }
        if (!empty && ++depth > kNestingLimit) {
            return fail("nested far deeper than a history");
        }
        if (name == "key") {
            const std::size_t end = empty ? pos : document.find('<', pos);
            if (!open.empty()) {
                open.back().key = document.substr(
                    pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
            }
            continue;
        }
        if (!open.empty() && open.back().array) {
            ++open.back().items;
        }
        if (container && !empty) {
            open.push_back(Container{name == "array", 0, {}});
            continue;
        }
        if (name != "integer" && name != "real" && name != "date") {
            continue;
        }
        const std::string_view key = open.empty() || open.back().array ? "" : open.back().key;
        Result<void> value;
        std::string tag = "<";
        tag.append(name);
        if (empty) {
            value = fail("an empty " + tag + "/> holds no value");
        } else {
            const std::size_t end = document.find('<', pos);
            const std::size_t after = end + 2 + name.size();
            if (end == std::string_view::npos || document.substr(end, 2) != "</" ||
                document.substr(end + 2, name.size()) != name || after >= document.size() ||
                document[after] != '>') {
                value = fail(tag + "> holds markup, not a plain value");
            } else {
                value = checkValue(name, document.substr(pos, end - pos), key);
                pos = after + 1;
                --depth;  // its end tag is passed
            }
        }
        if (!value) {
            return fail(where(document, start, open) + ": " + value.error());
        }
    }
    return {};
}

}  // namespace kesto
