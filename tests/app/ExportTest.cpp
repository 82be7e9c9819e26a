#include <cstdlib>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/CommandLine.h"
#include "history/RadiationHistoryMng.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

// Reads the three exports with Python's own parsers and says what they saw.
constexpr const char* kReader = R"PY(
import csv, json, sys
import xml.etree.ElementTree as ET
csv_path, geo_path, kml_path = sys.argv[1:4]
with open(csv_path, newline="", encoding="utf-8") as f:
    rows = list(csv.DictReader(f, strict=True))
with open(geo_path, encoding="utf-8") as f:
    geo = json.load(f)
ns = "{http://www.opengis.net/kml/2.2}"
root = ET.parse(kml_path).getroot()
marks = []
for p in root.iter(ns + "Placemark"):
    lon, lat = (float(v) for v in p.find(ns + "Point/" + ns + "coordinates").text.split(","))
    data = {d.get("name"): d.find(ns + "value").text for d in p.iter(ns + "Data")}
    marks.append({"name": p.find(ns + "name").text, "lon": lon, "lat": lat,
                  "begin": p.find(ns + "TimeSpan/" + ns + "begin").text, "data": data})
print(json.dumps({"csv": rows, "geoType": geo["type"],
                  "features": [{"coordinates": f["geometry"]["coordinates"],
                                "properties": f["properties"]} for f in geo["features"]],
                  "kmlRoot": root.tag, "placemarks": marks}))
)PY";

const std::string kAwkward = "Caf\u00e9, \"the\" <b>&amp;</b>\r\nline two \u2622";

std::shared_ptr<RadiationHistoryRecord> record(const std::string& tag, double latitude,
                                               double longitude, std::size_t events) {
    auto r = std::make_shared<RadiationHistoryRecord>();
    r->setTag(tag);
    r->setStartDate(Date::fromUnixSeconds(1300000000.0));
    r->setStopDate(Date::fromUnixSeconds(1300000000.0 + 600.0));
    r->setLatitude(latitude);
    r->setLongitude(longitude);
    r->setRadionEvents(std::vector<RadiationEvent>(events, RadiationEvent(0.25, 2)));
    return r;
}

// The exports as the tools people open them with read them: quoting,
// escaping, namespace and coordinate order all checked by real parsers.
TEST(ExportTest, SpreadsheetAndMapToolsReadEveryMeasurementBack) {
    if (std::system("command -v python3 >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "python3 is missing: the exports cannot be checked with its parsers";
    }
    test::TemporaryDirectory dir;
    test::ConsoleCapture console;
    RadiationHistoryMng::resetForTesting(dir.path());
    RadiationHistoryMng::setSimulated(true);
    for (const auto& r : {record(kAwkward, 51.5072, -0.1275, 10), record("nowhere", 0.0, 0.0, 0),
                          record("=1+2", -33.86, 151.21, 100)}) {
        RadiationHistoryMng::registerRadiationHistoryRecord(r);
    }
    RadiationHistoryMng::resetForTesting(dir.path() / "unused");

    std::string leftOutMessages;
    for (const char* format : {"csv", "geojson", "kml"}) {
        std::ostringstream out, err;
        ASSERT_EQ(CommandLine::run({"history", "--simulated", std::string("--") + format,
                                    "--data-dir", dir.path().string()},
                                   out, err),
                  0)
            << err.str();
        std::ofstream(dir.path() / format, std::ios::binary) << out.str();
        leftOutMessages += err.str();
    }
    EXPECT_EQ(leftOutMessages,
              "kesto history: 1 measurement has no known position and was left out of the "
              "GeoJSON\nkesto history: 1 measurement has no known position and was left out of "
              "the KML\n");

    std::ofstream(dir.path() / "read.py") << kReader;
    const auto path = [&](const char* name) { return (dir.path() / name).string(); };
    const std::string command = "python3 " + path("read.py") + " " + path("csv") + " " +
                                path("geojson") + " " + path("kml") + " > " + path("seen");
    ASSERT_EQ(std::system(command.c_str()), 0) << "a parser refused an export";
    std::ifstream seenFile(path("seen"));
    const auto seen = nlohmann::json::parse(seenFile);

    // Newest first, as the history lists them; every row in the table.
    const auto& rows = seen["csv"];
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0]["tag"], "'=1+2");  // shown as text, never run as a formula
    EXPECT_EQ(rows[1]["tag"], "nowhere");
    EXPECT_EQ(rows[1]["latitude"], "");
    EXPECT_EQ(rows[1]["rate_high95_uSv_h"], "1.2173");  // 3.689 events' worth over 600 s
    EXPECT_EQ(rows[2]["tag"], kAwkward);
    EXPECT_EQ(rows[2]["start"], "2011-03-13T07:06:40Z");
    EXPECT_EQ(rows[2]["stop"], "2011-03-13T07:16:40Z");
    EXPECT_EQ(rows[2]["events"], "10");
    EXPECT_EQ(rows[2]["rate_low95_uSv_h"], "1.5825");  // 198 × 4.7954 / 600
    EXPECT_EQ(rows[2]["longitude"], "-0.1275000");
    EXPECT_EQ(rows[2]["simulated"], "yes");

    EXPECT_EQ(seen["geoType"], "FeatureCollection");
    const auto& features = seen["features"];
    ASSERT_EQ(features.size(), 2u);
    EXPECT_EQ(features[1]["coordinates"], nlohmann::json({-0.1275, 51.5072}));
    EXPECT_EQ(features[1]["properties"]["tag"], kAwkward);
    EXPECT_NEAR(features[1]["properties"]["doseRateUpper95"].get<double>(), 6.069, 1e-3);

    EXPECT_EQ(seen["kmlRoot"], "{http://www.opengis.net/kml/2.2}kml");
    const auto& marks = seen["placemarks"];
    ASSERT_EQ(marks.size(), 2u);
    EXPECT_EQ(marks[0]["name"], "=1+2");
    EXPECT_EQ(marks[0]["lon"], 151.21);
    EXPECT_EQ(marks[0]["lat"], -33.86);
    EXPECT_EQ(marks[1]["name"], kAwkward);
    EXPECT_EQ(marks[1]["begin"], "2011-03-13T07:06:40Z");
    EXPECT_EQ(marks[1]["data"]["events"], "10");
}

}  // namespace
}  // namespace kesto
