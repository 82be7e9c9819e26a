#pragma once

#include <optional>
#include <string_view>

#include "web/HttpServer.h"
#include "web/RequestGuard.h"

namespace kesto {

// What a server answers for its request guard's decision, the same for the
// application's server and the collection server: 403; 401 (`tokenPage`,
// HTML, to a browser opening "/", else `tokenMissing` or the guard's own
// reason); 303 that moves a token from the address into the cookie; or
// nothing: go on, with the cookie added to `answerHeaders` when one is due.
// Apart from RequestGuard so that the guard's checks build without a server.
//
// Threads: any thread; no shared state.
class GuardAnswer {
  public:
    static std::optional<HttpServer::Response> of(
        const RequestGuard& guard, const HttpServer::Request& request,
        HttpServer::Headers& answerHeaders, std::string_view tokenPage,
        std::optional<std::string_view> tokenMissing = {});
};

}  // namespace kesto
