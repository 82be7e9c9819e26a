#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace kesto {

// One blocking HTTP POST through libcurl.
//
// Threads: any thread; each call has its own connection. Blocks the caller
// until an answer is read, the connection fails or `timeout` expires.
class HttpClient {
  public:
    struct Result {
        bool responded = false;  // an HTTP answer arrived, whatever its status
        long status = 0;
        std::string body;   // its first MiB at most
        std::string error;  // why no answer arrived
    };

    // `headers` are full "Name: value" lines added to libcurl's defaults.
    static Result post(const std::string& url, const std::vector<std::string>& headers,
                       std::string_view body, std::chrono::milliseconds timeout);
};

}  // namespace kesto
