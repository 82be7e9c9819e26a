#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Result.h"

namespace kesto {

// A multipart/form-data body (RFC 7578 over RFC 2046) taken apart into its
// fields: Kesto's own upload form, and the same fields written by other
// encoders (a random boundary, a Content-Type or transfer encoding in each
// part, a preamble or epilogue, quoted parameters).
//
// What is refused, with the reason: a boundary missing or not of RFC 2046's
// shape; no opening delimiter; a body that ends before its close delimiter;
// a delimiter line with anything but blanks after it; a part without
// "Content-Disposition: form-data; name=..."; a header without a colon; a
// charset other than UTF-8 or US-ASCII; a transfer encoding other than 7bit,
// 8bit, binary, base64 or quoted-printable (or one that does not decode);
// the same field twice; more than kMaxParts parts or kMaxHeaderBytes of
// headers in a part. The size of the body itself is the server's to bound.
//
// Threads: pure functions; any thread.
class MultipartForm {
  public:
    static constexpr std::size_t kMaxParts = 32;
    static constexpr std::size_t kMaxHeaderBytes = 2048;
    static constexpr std::size_t kMaxNameBytes = 64;

    struct Field {
        std::string name;
        std::string value;  // decoded bytes
    };

    // The boundary of a "multipart/form-data; boundary=..." Content-Type.
    static Result<std::string> boundaryOf(std::string_view contentType);
    // The fields in their order in the body.
    static Result<std::vector<Field>> parse(std::string_view contentType, std::string_view body);
    static Result<std::vector<Field>> parseWithBoundary(std::string_view boundary,
                                                        std::string_view body);
};

}  // namespace kesto
