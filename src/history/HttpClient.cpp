#include "history/HttpClient.h"

#include <algorithm>
#include <memory>
#include <mutex>

#include <curl/curl.h>

#include "platform/UniqueHandle.h"

namespace kesto {
namespace {

void initialiseOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The answer is only logged: keep its start, so a server sending without end
// cannot exhaust memory.
constexpr std::size_t kMaxBody = 1 << 20;

std::size_t collect(char* data, std::size_t size, std::size_t count, void* target) {
    auto& body = *static_cast<std::string*>(target);
    const std::size_t n = size * count;
    if (body.size() < kMaxBody) {
        body.append(data, std::min(n, kMaxBody - body.size()));
    }
    return n;
}

}  // namespace

Result<HttpClient::Response> HttpClient::post(const std::string& url,
                                              const std::vector<std::string>& headers,
                                              std::string_view body,
                                              std::chrono::milliseconds timeout) {
    initialiseOnce();
    const UniqueHandle<CURL, curl_easy_cleanup> easy(curl_easy_init());
    if (!easy) {
        return fail("cannot start an HTTP request");
    }
    UniqueHandle<curl_slist, curl_slist_free_all> list;
    for (const std::string& header : headers) {
        curl_slist* grown = curl_slist_append(list.get(), header.c_str());
        if (grown == nullptr) {
            return fail("out of memory");
        }
        list.release();
        list.reset(grown);
    }
    // libcurl would otherwise ask for "100-continue" on larger bodies and
    // wait for a reply many servers never send.
    if (curl_slist* grown = curl_slist_append(list.get(), "Expect:")) {
        list.release();
        list.reset(grown);
    }
    Response response;
    char errorText[CURL_ERROR_SIZE] = {};
    CURL* h = easy.get();
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_POST, 1L);
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, list.get());
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(timeout.count()));
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);  // no SIGALRM games on other threads
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &response.body);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText);
    const CURLcode code = curl_easy_perform(h);
    if (code != CURLE_OK) {
        return fail(errorText[0] != '\0' ? std::string(errorText) : curl_easy_strerror(code));
    }
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &response.status);
    return response;
}

}  // namespace kesto
