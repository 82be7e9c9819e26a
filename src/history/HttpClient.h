#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Result.h"

namespace kesto {

// One blocking HTTP POST through libcurl.
//
// Threads: any thread; each call has its own connection. Blocks the caller
// until an answer is read, the connection fails or `timeout` expires.
class HttpClient {
  public:
    // An HTTP answer, whatever its status.
    struct Response {
        long status = 0;
        std::string body;  // its first MiB at most
    };

    // `headers` are full "Name: value" lines added to libcurl's defaults.
    // Fails, saying why, when no answer arrived.
    static Result<Response> post(const std::string& url, const std::vector<std::string>& headers,
                                 std::string_view body, std::chrono::milliseconds timeout);
};

}  // namespace kesto
