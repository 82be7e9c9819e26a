#include "web/GuardAnswer.h"

namespace kesto {

std::optional<HttpServer::Response> GuardAnswer::of(const RequestGuard& guard,
                                                    const HttpServer::Request& request,
                                                    HttpServer::Headers& answerHeaders,
                                                    std::string_view tokenPage,
                                                    std::optional<std::string_view> tokenMissing) {
    using Response = HttpServer::Response;
    const RequestGuard::Decision decision = guard.check(request);
    const bool opensThePage = request.method == "GET" && request.path == "/";
    switch (decision.access) {
        case RequestGuard::Access::ForeignHost:
        case RequestGuard::Access::ForeignAction:
            return Response::error(403, decision.why);
        case RequestGuard::Access::TokenRequired:
            if (opensThePage) {
                return Response::text(401, std::string(tokenPage), "text/html; charset=utf-8");
            }
            return Response::error(401, tokenMissing ? std::string(*tokenMissing) : decision.why);
        case RequestGuard::Access::Allowed:
            break;
    }
    if (decision.setCookie) {
        answerHeaders.emplace_back("Set-Cookie", guard.setCookieHeader());
        if (opensThePage) {
            // Out of the address bar (and its history) once it is in the cookie.
            Response redirect = Response::text(303, "");
            redirect.headers.emplace_back("Location", "/");
            return redirect;
        }
    }
    return std::nullopt;
}

}  // namespace kesto
