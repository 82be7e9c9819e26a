#include "history/UploadForm.h"

#include <array>
#include <memory>

#include <curl/curl.h>

#include "platform/Format.h"
#include "platform/UniqueHandle.h"

namespace kesto {
namespace {

// A URL's part as libcurl gives it; empty when absent.
std::string part(CURLU* url, CURLUPart which) {
    char* text = nullptr;
    if (curl_url_get(url, which, &text, 0) != CURLUE_OK || text == nullptr) {
        return {};
    }
    const UniqueHandle<char, curl_free> owned(text);
    return std::string(owned.get());
}

// The server as given, fit for a message: everything up to the last '@'
// after the scheme (the user information, passwords included) hidden, and
// control characters shown as '?' so the text cannot drive the terminal.
std::string redacted(std::string_view server) {
    std::string text(server);
    const std::size_t authority = text.find("://");
    const std::size_t at = text.rfind('@');
    if (at != std::string::npos) {
        const std::size_t start = authority == std::string::npos ? 0 : authority + 3;
        text.replace(start, at >= start ? at - start : 0, "***");
    }
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
    return text;
}

}  // namespace

std::string UploadForm::generateDataFromText(const std::optional<std::string>& value,
                                             std::string_view fieldName,
                                             std::string_view boundary) {
    std::string part;
    part.reserve(64 + fieldName.size() + (value ? value->size() : 0));
    part += "--";
    part += boundary;
    part += "\r\nContent-Disposition: form-data; name=\"";
    part += fieldName;
    part += "\"\r\n\r\n";
    if (value) {
        part += *value;
    }
    part += "\r\n";
    return part;
}

std::string UploadForm::stringFromRadiationEventList(const std::vector<RadiationEvent>& events) {
    std::string text;
    text.reserve(events.size() * 16);
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (i > 0) {
            text += '|';
        }
        text += cformat("%f|%d", events[i].timeStamp(), events[i].numberOfParticules());
    }
    return text;
}

std::string UploadForm::chooseBoundary(const std::vector<std::string_view>& values) {
    const auto unused = [&](const std::string& candidate) {
        for (std::string_view value : values) {
            if (value.find(candidate) != std::string_view::npos) {
                return false;
            }
        }
        return true;
    };
    std::string candidate = kBoundary;
    // Values are finite, so some counter is in none of them.
    for (unsigned long n = 1; !unused(candidate); ++n) {
        candidate = cformat("KestoBoundary%lu", n);
    }
    return candidate;
}

UploadForm::Body UploadForm::build(const RadiationHistoryRecord& record) {
    // An absent date is sent as 0.000000, an absent text as nothing.
    const auto seconds = [](const std::optional<Date>& date) {
        return cformat("%f", date ? date->unixSeconds() : 0.0);
    };
    const std::array<std::pair<const char*, std::optional<std::string>>, 7> fields{{
        {"startDate", seconds(record.startDate())},
        {"stopDate", seconds(record.stopDate())},
        {"udid", record.udid()},
        {"tag", record.tag()},
        {"latitude", cformat("%f", record.latitude())},
        {"longitude", cformat("%f", record.longitude())},
        {"radiationEvents", stringFromRadiationEventList(record.radionEvents())},
    }};
    std::vector<std::string_view> values;
    for (const auto& field : fields) {
        if (field.second) {
            values.emplace_back(*field.second);
        }
    }
    Body body;
    body.boundary = chooseBoundary(values);
    for (const auto& [name, value] : fields) {
        body.bytes += generateDataFromText(value, name, body.boundary);
    }
    body.bytes += "--" + body.boundary + "--";
    return body;
}

Result<std::string> UploadForm::endpoint(std::string_view server) {
    const std::string given(server);
    const UniqueHandle<CURLU, curl_url_cleanup> url(curl_url());
    bool clean = url && curl_url_set(url.get(), CURLUPART_URL, given.c_str(), 0) == CURLUE_OK;
    if (clean) {
        const std::string scheme = part(url.get(), CURLUPART_SCHEME);
        const std::string path = part(url.get(), CURLUPART_PATH);
        clean = (scheme == "http" || scheme == "https") &&
                !part(url.get(), CURLUPART_HOST).empty() &&
                path.find_first_not_of('/') == std::string::npos &&
                part(url.get(), CURLUPART_USER).empty() &&
                part(url.get(), CURLUPART_PASSWORD).empty() &&
                part(url.get(), CURLUPART_OPTIONS).empty() &&
                part(url.get(), CURLUPART_QUERY).empty() &&
                part(url.get(), CURLUPART_FRAGMENT).empty() && given.find('@') == std::string::npos;
    }
    if (!clean || curl_url_set(url.get(), CURLUPART_PATH, kPath, 0) != CURLUE_OK) {
        return fail("Collection server must be given as http://host[:port], not '" +
                    redacted(server) + "': measurement not sent");
    }
    return part(url.get(), CURLUPART_URL);
}

}  // namespace kesto
