// Feeds arbitrary uploads to the collection server's form reader: the first
// line is the request's Content-Type, the rest its body. Whatever is
// accepted must be a measurement the store can keep as it promises.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "collect/MultipartForm.h"
#include "collect/UploadedMeasurement.h"
#include "platform/Utf8Text.h"

namespace {

void check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto newline = input.find('\n');
    const std::string_view contentType = input.substr(0, newline);
    const std::string_view body =
        newline == std::string_view::npos ? std::string_view() : input.substr(newline + 1);

    const auto fields = kesto::MultipartForm::parse(contentType, body);
    if (fields) {
        check(fields->size() <= kesto::MultipartForm::kMaxParts);
        for (const auto& field : *fields) {
            check(!field.name.empty() && field.name.size() <= kesto::MultipartForm::kMaxNameBytes);
        }
    } else {
        check(!fields.error().empty());
    }
    const auto measurement = kesto::UploadedMeasurement::fromForm(contentType, body);
    if (!measurement) {
        return 0;
    }
    check(fields.ok());
    const auto& m = *measurement;
    check(m.startMicros > 0 && m.stopMicros >= m.startMicros);
    check(std::fabs(m.latitude) <= 90.0 && std::fabs(m.longitude) <= 180.0);
    check(m.udid.size() <= kesto::UploadedMeasurement::kMaxUdidBytes &&
          kesto::Utf8Text::isValid(m.udid));
    check(m.tag.size() <= kesto::UploadedMeasurement::kMaxTagBytes &&
          kesto::Utf8Text::isValid(m.tag));
    for (const auto& event : m.events) {
        check(std::isfinite(event.timeStamp()) && event.timeStamp() >= 0.0 &&
              event.numberOfParticules() >= 0);
    }
    // The figures the store derives must be numbers.
    const auto record = m.record();
    check(std::isfinite(record.vd()) && std::isfinite(record.vm()));
    return 0;
}
