#include "collect/MultipartForm.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

namespace kesto {
namespace {

constexpr std::string_view kCrlf = "\r\n";

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return out;
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

// A text fit for a message: at most 40 printable ASCII characters.
std::string shown(std::string_view text) {
    std::string out;
    for (const char c : text.substr(0, 40)) {
        out += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return out;
}

bool isTokenChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

// "value; key=token; key="quoted \" text"": the value in lower case and the
// parameters, keys in lower case. Nothing when it is not of that shape.
struct HeaderValue {
    std::string value;
    std::vector<std::pair<std::string, std::string>> parameters;

    const std::string* parameter(std::string_view key) const {
        for (const auto& [k, v] : parameters) {
            if (k == key) {
                return &v;
            }
        }
        return nullptr;
    }
};

// A parameter's value from `at`: a token or a quoted string (its escapes
// undone); `at` ends past it. Nothing when neither is there or a quote is open.
std::optional<std::string> parameterValue(std::string_view text, std::size_t& at) {
    std::string value;
    if (at < text.size() && text[at] == '"') {
        ++at;
        while (at < text.size()) {
            const char c = text[at++];
            if (c == '"') {
                return value;
            }
            if (c == '\\' && at < text.size()) {
                value += text[at++];
            } else {
                value += c;
            }
        }
        return std::nullopt;
    }
    const std::size_t start = at;
    while (at < text.size() && isTokenChar(text[at])) {
        ++at;
    }
    if (at == start) {
        return std::nullopt;
    }
    return std::string(text.substr(start, at - start));
}

std::optional<HeaderValue> parseHeaderValue(std::string_view text) {
    HeaderValue out;
    const auto semicolon = text.find(';');
    out.value = lower(trim(text.substr(0, semicolon)));
    if (out.value.empty()) {
        return std::nullopt;
    }
    std::size_t at = semicolon == std::string_view::npos ? text.size() : semicolon + 1;
    while (at < text.size()) {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) {
            ++at;
        }
        const std::size_t keyStart = at;
        while (at < text.size() && isTokenChar(text[at])) {
            ++at;
        }
        const std::string key = lower(text.substr(keyStart, at - keyStart));
        if (key.empty() || at >= text.size() || text[at] != '=') {
            return std::nullopt;
        }
        ++at;
        std::optional<std::string> value = parameterValue(text, at);
        if (!value) {
            return std::nullopt;
        }
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) {
            ++at;
        }
        if (at < text.size() && text[at] != ';') {
            return std::nullopt;
        }
        ++at;
        if (out.parameters.size() >= 8) {
            return std::nullopt;
        }
        out.parameters.emplace_back(key, std::move(*value));
    }
    return out;
}

std::optional<std::string> decodeBase64(std::string_view text) {
    static constexpr auto kValues = [] {
        std::array<signed char, 256> values{};
        values.fill(-1);
        const std::string_view alphabet =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (std::size_t i = 0; i < alphabet.size(); ++i) {
            values[static_cast<unsigned char>(alphabet[i])] = static_cast<signed char>(i);
        }
        return values;
    }();
    std::string out;
    unsigned buffer = 0;
    int bits = 0;
    int padding = 0;
    for (const char c : text) {
        if (c == '\r' || c == '\n' || c == ' ' || c == '\t') {
            continue;
        }
        if (c == '=') {
            ++padding;
            continue;
        }
        const signed char value = kValues[static_cast<unsigned char>(c)];
        if (value < 0 || padding > 0) {
            return std::nullopt;
        }
        buffer = (buffer << 6) | static_cast<unsigned>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((buffer >> bits) & 0xFF);
        }
    }
    // Leftover bits must be the zero fill of the last group, padded to four.
    if (bits >= 6 || padding > 2 || (buffer & ((1U << bits) - 1U)) != 0) {
        return std::nullopt;
    }
    return out;
}

std::optional<std::string> decodeQuotedPrintable(std::string_view text) {
    const auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') {
            return c - '0';
        }
        if (c >= 'A' && c <= 'F') {
            return c - 'A' + 10;
        }
        if (c >= 'a' && c <= 'f') {
            return c - 'a' + 10;
        }
        return -1;
    };
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '=') {
            out += text[i];
            continue;
        }
        if (text.substr(i + 1, 2) == kCrlf) {  // a soft line break
            i += 2;
            continue;
        }
        if (i + 2 >= text.size() || hex(text[i + 1]) < 0 || hex(text[i + 2]) < 0) {
            return std::nullopt;
        }
        out += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
        i += 2;
    }
    return out;
}

// A part's header lines, unfolded: a line starting with a blank continues
// the last.
std::vector<std::string> unfoldedLines(std::string_view headers) {
    std::vector<std::string> lines;
    while (!headers.empty()) {
        const auto end = headers.find(kCrlf);
        const std::string_view line = headers.substr(0, end);
        headers = end == std::string_view::npos ? std::string_view() : headers.substr(end + 2);
        if (!line.empty() && (line.front() == ' ' || line.front() == '\t') && !lines.empty()) {
            lines.back() += ' ';
            lines.back() += trim(line);
        } else {
            lines.emplace_back(line);
        }
    }
    return lines;
}

// A part's content in its transfer encoding, decoded; why not, to follow
// the field's name.
Result<std::string> decodedContent(const std::string& encoding, std::string_view content) {
    std::optional<std::string> value;
    if (encoding == "7bit" || encoding == "8bit" || encoding == "binary") {
        value = std::string(content);
    } else if (encoding == "base64") {
        value = decodeBase64(content);
    } else if (encoding == "quoted-printable") {
        value = decodeQuotedPrintable(content);
    } else {
        return fail("has the unknown transfer encoding '" + shown(encoding) + "'");
    }
    if (!value) {
        return fail("is not valid " + encoding);
    }
    return std::move(*value);
}

struct PartHeaders {
    std::size_t end = 0;           // where the header block ends
    std::size_t contentStart = 0;  // past the empty line that ends it
};

// The header block of the part that starts at `at`: it ends at the first
// empty line; a part may have no headers at all.
Result<PartHeaders> partHeaders(std::string_view body, std::size_t at) {
    PartHeaders headers;
    if (body.substr(at, 2) == kCrlf) {
        headers = {at, at + 2};
    } else {
        const auto blank = body.find("\r\n\r\n", at);
        if (blank == std::string_view::npos) {
            return fail("the form ends inside a part's headers");
        }
        headers = {blank, blank + 4};
    }
    if (headers.end - at > MultipartForm::kMaxHeaderBytes) {
        return fail("a part's headers are longer than 2 KiB");
    }
    return headers;
}

// One part: its header block and its content, as they stand in the body.
Result<MultipartForm::Field> parsePart(std::string_view headers, std::string_view content) {
    std::optional<HeaderValue> disposition;
    std::optional<HeaderValue> type;
    std::string encoding = "7bit";
    for (const std::string& line : unfoldedLines(headers)) {
        const auto colon = line.find(':');
        if (colon == std::string::npos || colon == 0) {
            return fail("a part's header line has no name: '" + shown(line) + "'");
        }
        const std::string name = lower(trim(std::string_view(line).substr(0, colon)));
        const std::string_view value = trim(std::string_view(line).substr(colon + 1));
        if (name == "content-disposition" || name == "content-type") {
            auto parsed = parseHeaderValue(value);
            if (!parsed) {
                return fail("a part's " + name + " header is malformed: '" + shown(value) + "'");
            }
            (name == "content-type" ? type : disposition) = std::move(parsed);
        } else if (name == "content-transfer-encoding") {
            encoding = lower(value);
        }
    }
    if (!disposition || disposition->value != "form-data" || !disposition->parameter("name")) {
        return fail("a part has no \"Content-Disposition: form-data; name=...\"");
    }
    MultipartForm::Field field;
    field.name = *disposition->parameter("name");
    if (field.name.empty() || field.name.size() > MultipartForm::kMaxNameBytes) {
        return fail("a part's field name is empty or longer than 64 bytes");
    }
    if (type) {
        const std::string* charset = type->parameter("charset");
        if (charset && lower(*charset) != "utf-8" && lower(*charset) != "us-ascii") {
            return fail("field '" + shown(field.name) + "' is in " + shown(*charset) +
                        ", not UTF-8");
        }
    }
    auto value = decodedContent(encoding, content);
    if (!value) {
        return fail("field '" + shown(field.name) + "' " + value.error());
    }
    field.value = std::move(*value);
    return field;
}

// After a delimiter: blanks, then CRLF (another part follows: true) or
// "--" (the close delimiter: false).
Result<bool> afterDelimiter(std::string_view rest, std::size_t& consumed) {
    if (rest.starts_with("--")) {
        consumed = 2;
        return false;
    }
    std::size_t at = 0;
    while (at < rest.size() && (rest[at] == ' ' || rest[at] == '\t')) {
        ++at;
    }
    if (rest.substr(at, 2) != kCrlf) {
        if (at == rest.size()) {
            return fail("the form ends before its close delimiter");
        }
        return fail("a boundary line has more after the boundary");
    }
    consumed = at + 2;
    return true;
}

}  // namespace

Result<std::string> MultipartForm::boundaryOf(std::string_view contentType) {
    const auto parsed = parseHeaderValue(contentType);
    if (!parsed || parsed->value != "multipart/form-data") {
        return fail("the body is not multipart/form-data (Content-Type: '" + shown(contentType) +
                    "')");
    }
    const std::string* boundary = parsed->parameter("boundary");
    if (!boundary) {
        return fail("the Content-Type names no boundary");
    }
    // RFC 2046: 1 to 70 characters of a small set, not ending in a space.
    const bool shaped =
        !boundary->empty() && boundary->size() <= 70 && boundary->back() != ' ' &&
        std::all_of(boundary->begin(), boundary->end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                   std::string_view("'()+_,-./:=? ").find(c) != std::string_view::npos;
        });
    if (!shaped) {
        return fail("the boundary '" + shown(*boundary) + "' is not 1 to 70 plain characters");
    }
    return *boundary;
}

Result<std::vector<MultipartForm::Field>> MultipartForm::parse(std::string_view contentType,
                                                               std::string_view body) {
    const Result<std::string> boundary = boundaryOf(contentType);
    if (!boundary) {
        return boundary.failure();
    }
    return parseWithBoundary(*boundary, body);
}

Result<std::vector<MultipartForm::Field>> MultipartForm::parseWithBoundary(
    std::string_view boundary, std::string_view body) {
    const std::string dashBoundary = "--" + std::string(boundary);
    const std::string delimiter = "\r\n" + dashBoundary;
    // The first delimiter opens the body or follows a preamble's CRLF.
    std::size_t at = 0;
    if (!body.starts_with(dashBoundary)) {
        at = body.find(delimiter);
        if (at == std::string_view::npos) {
            return fail("the form has no opening boundary '--" + shown(boundary) + "'");
        }
        at += 2;
    }
    at += dashBoundary.size();
    std::vector<Field> fields;
    for (;;) {
        std::size_t consumed = 0;
        const Result<bool> more = afterDelimiter(body.substr(at), consumed);
        if (!more) {
            return more.failure();
        }
        at += consumed;
        if (!*more) {
            break;  // the close delimiter; an epilogue after it is ignored
        }
        if (fields.size() == kMaxParts) {
            return fail("the form has more than 32 parts");
        }
        const Result<PartHeaders> headers = partHeaders(body, at);
        if (!headers) {
            return headers.failure();
        }
        const std::size_t headersEnd = headers->end;
        const std::size_t contentStart = headers->contentStart;
        const auto next = body.find(delimiter, contentStart);
        if (next == std::string_view::npos) {
            return fail("the form ends before its close delimiter");
        }
        Result<Field> field = parsePart(body.substr(at, headersEnd - at),
                                        body.substr(contentStart, next - contentStart));
        if (!field) {
            return field.failure();
        }
        for (const Field& earlier : fields) {
            if (earlier.name == field->name) {
                return fail("field '" + shown(field->name) + "' is given twice");
            }
        }
        fields.push_back(std::move(*field));
        at = next + delimiter.size();
    }
    return fields;
}

}  // namespace kesto
