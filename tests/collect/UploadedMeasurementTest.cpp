// The upload form as Kesto writes it and as other encoders write the same
// fields comes out as one measurement; anything malformed is refused with
// its reason.
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

#include "collect/UploadedMeasurement.h"
#include "history/UploadForm.h"

namespace kesto {
namespace {

const std::filesystem::path kForms = std::filesystem::path(KESTO_TEST_FORMS);

RadiationHistoryRecord sample(const std::string& tag = "Grenier \u00e9t\u00e9 \u2622") {
    RadiationHistoryRecord r;
    r.setStartDate(Date::fromUnixSeconds(1300000000.25));
    r.setStopDate(Date::fromUnixSeconds(1300000036.25));
    r.setUdid("0f1e2d3c4b5a69788796a5b4c3d2e1f00f1e2d3c4b5a69788796a5b4c3d2e1f0");
    r.setTag(tag);
    r.setLatitude(-33.8688);
    r.setLongitude(151.2093);
    r.setRadionEvents({RadiationEvent(0.5, 3), RadiationEvent(2.25, 1)});
    return r;
}

UploadedMeasurement expected() {
    UploadedMeasurement m;
    m.udid = *sample().udid();
    m.tag = *sample().tag();
    m.startMicros = 1300000000250000;
    m.stopMicros = 1300000036250000;
    m.latitude = -33.8688;
    m.longitude = 151.2093;
    m.events = sample().radionEvents();
    return m;
}

std::string part(const std::string& name, const std::string& value) {
    return "--AaB03x\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value +
           "\r\n";
}

// Kesto's fields with some replaced ("" name: left out).
std::string form(const std::map<std::string, std::string>& changed = {}) {
    std::string body;
    for (const auto& [name, value] :
         std::vector<std::pair<std::string, std::string>>{{"startDate", "1300000000.250000"},
                                                          {"stopDate", "1300000036.250000"},
                                                          {"udid", "d"},
                                                          {"tag", "t"},
                                                          {"latitude", "1.000000"},
                                                          {"longitude", "2.000000"},
                                                          {"radiationEvents", "0.500000|3"}}) {
        const auto found = changed.find(name);
        if (found == changed.end()) {
            body += part(name, value);
        } else if (!found->second.empty() || name == "tag" || name == "udid") {
            body += part(name, found->second == "<none>" ? "" : found->second);
        }
    }
    return body + "--AaB03x--";
}

const std::string kType = "multipart/form-data; boundary=AaB03x";

TEST(UploadedMeasurementTest, ReadsKestosOwnFormBackToTheRecord) {
    for (const std::string& tag :
         {std::string("Grenier \u00e9t\u00e9 \u2622"),
          std::string("holds --AaB03x and \r\n--AaB03x--"), std::string()}) {
        const UploadForm::Body body = UploadForm::build(sample(tag));
        const auto read = UploadedMeasurement::fromForm(body.contentType(), body.bytes);
        ASSERT_TRUE(read) << read.error();
        UploadedMeasurement want = expected();
        want.tag = tag;
        EXPECT_EQ(*read, want);
        EXPECT_EQ(read->record().vm(), sample(tag).vm());
    }
}

TEST(UploadedMeasurementTest, ReadsTheSameFieldsFromPythonsRequestsAndEmailEncoders) {
    for (const char* name : {"requests-fields.form", "requests-file.form", "email-base64.form",
                             "email-quoted-printable.form"}) {
        std::ifstream in(kForms / name, std::ios::binary);
        ASSERT_TRUE(in) << name;
        std::string contentType;
        std::getline(in, contentType);
        std::stringstream body;
        body << in.rdbuf();
        const auto read = UploadedMeasurement::fromForm(contentType, body.str());
        ASSERT_TRUE(read) << name << ": " << read.error();
        EXPECT_EQ(*read, expected()) << name;
    }
}

TEST(UploadedMeasurementTest, RefusesATruncatedFormAtEveryLength) {
    const UploadForm::Body body = UploadForm::build(sample());
    for (std::size_t length = 0; length < body.bytes.size(); ++length) {
        EXPECT_FALSE(
            UploadedMeasurement::fromForm(body.contentType(), body.bytes.substr(0, length)))
            << "accepted the first " << length << " bytes";
    }
}

TEST(UploadedMeasurementTest, RefusesMalformedFormsWithTheReason) {
    struct Case {
        std::string contentType;
        std::string body;
        std::string reason;
    };
    const std::string many = [] {
        std::string body;
        for (int i = 0; i < 40; ++i) {
            body += part("extra" + std::to_string(i), "x");
        }
        return body + "--AaB03x--";
    }();
    const std::vector<Case> cases = {
        {"application/x-www-form-urlencoded", "startDate=1", "not multipart/form-data"},
        {"multipart/form-data", form(), "names no boundary"},
        {"multipart/form-data; boundary=\"\"", form(), "not 1 to 70 plain characters"},
        {"multipart/form-data; boundary=Other", form(), "no opening boundary"},
        {kType, "--AaB03x\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n--AaB03xyz\r\n",
         "more after the boundary"},
        {kType, "--AaB03x\r\nContent-Disposition: form-data\r\n\r\n1\r\n--AaB03x--",
         "no \"Content-Disposition: form-data; name=...\""},
        {kType, "--AaB03x\r\nnot a header\r\n\r\n1\r\n--AaB03x--", "header line has no name"},
        {kType, part("udid", "a") + part("udid", "b") + "--AaB03x--", "'udid' is given twice"},
        {kType,
         "--AaB03x\r\nContent-Disposition: form-data; name=tag\r\nContent-Type: text/plain; "
         "charset=latin1\r\n\r\nx\r\n--AaB03x--",
         "in latin1, not UTF-8"},
        {kType,
         "--AaB03x\r\nContent-Disposition: form-data; name=tag\r\n"
         "Content-Transfer-Encoding: base64\r\n\r\n!!!\r\n--AaB03x--",
         "not valid base64"},
        {kType, many, "more than 32 parts"},
        {kType,
         "--AaB03x\r\nContent-Disposition: form-data; name=a\r\nX-Pad: " + std::string(3000, 'x') +
             "\r\n\r\n1\r\n--AaB03x--",
         "headers are longer than 2 KiB"},
        {kType, form({{"radiationEvents", ""}}), "no field 'radiationEvents'"},
        {kType, form({{"startDate", "yesterday"}}), "startDate is not a number: 'yesterday'"},
        {kType, form({{"startDate", "nan"}}), "startDate is not a number"},
        {kType, form({{"startDate", "0.000000"}}), "startDate is not a date after 1970"},
        {kType, form({{"stopDate", "1300000000.000000"}}), "stopDate is before startDate"},
        {kType, form({{"latitude", "91.000000"}}), "within \u00b190 and \u00b1180"},
        {kType, form({{"longitude", "1,5"}}), "longitude is not a number"},
        {kType, form({{"radiationEvents", "0.5|3|1.0"}}), "a time without a count at event 2"},
        {kType, form({{"radiationEvents", "-1.0|3"}}), "event 1 has no time of 0 seconds or more"},
        {kType, form({{"radiationEvents", "1.0|2.5"}}), "event 1 has no count of 0 or more"},
        {kType, form({{"udid", "a\nb"}}), "udid is not at most 256 bytes of UTF-8 text"},
        {kType, form({{"tag", "\xC3("}}), "tag is not at most 4 KiB of UTF-8 text"},
        {kType, form({{"tag", std::string(4097, 'x')}}), "tag is not at most 4 KiB"},
    };
    for (const Case& c : cases) {
        const auto read = UploadedMeasurement::fromForm(c.contentType, c.body);
        ASSERT_FALSE(read) << c.reason;
        EXPECT_NE(read.error().find(c.reason), std::string::npos)
            << "wanted '" << c.reason << "', got '" << read.error() << "'";
    }
    // Empty texts are measurements too: no events, no tag, no identifier.
    const auto bare = UploadedMeasurement::fromForm(
        kType, form({{"radiationEvents", "<none>"}, {"tag", "<none>"}, {"udid", "<none>"}}));
    ASSERT_TRUE(bare) << bare.error();
    EXPECT_TRUE(bare->events.empty());
    EXPECT_EQ(bare->record().vd(), 0.0);
}

}  // namespace
}  // namespace kesto
