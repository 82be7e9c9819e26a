#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/RadiationEvent.h"
#include "history/RadiationHistoryRecord.h"
#include "platform/Result.h"

namespace kesto {

// The multipart/form-data body that carries one saved measurement to the
// collection server: seven parts (startDate, stopDate, udid, tag, latitude,
// longitude, radiationEvents), then the close delimiter. Numbers are written
// "%f" in the C locale whatever the process locale.
//
// Threads: pure functions, any thread (uploads run on their own threads).
class UploadForm {
  public:
    static constexpr const char* kBoundary = "AaB03x";
    static constexpr const char* kPath = "/clients/Kesto/addRadioactivityHistory.php";

    struct Body {
        std::string boundary;
        std::string bytes;
        std::string contentType() const { return "multipart/form-data; boundary=" + boundary; }
    };

    // "--<boundary>\r\nContent-Disposition: form-data; name=\"<field>\"\r\n\r\n"
    // then the value's bytes (none when absent), then "\r\n".
    static std::string generateDataFromText(const std::optional<std::string>& value,
                                            std::string_view fieldName,
                                            std::string_view boundary = kBoundary);
    // "t|n|t|n..." with each time "%f" and each count "%d"; empty for no events.
    static std::string stringFromRadiationEventList(const std::vector<RadiationEvent>& events);
    // "AaB03x", unless a value contains it: then a boundary found in no value,
    // since a value holding the delimiter would cut the form short.
    static std::string chooseBoundary(const std::vector<std::string_view>& values);

    static Body build(const RadiationHistoryRecord& record);

    // The upload address for a server given as "http[s]://host[:port]" (any
    // case of scheme, IPv6 literals in brackets, trailing slashes allowed),
    // parsed by libcurl. Refused for any other scheme, a path, query or
    // fragment, or user information: "http://a:1@b" would send to b with "a"
    // as a login. The reason never holds the user information nor control
    // characters.
    static Result<std::string> endpoint(std::string_view server);
};

}  // namespace kesto
