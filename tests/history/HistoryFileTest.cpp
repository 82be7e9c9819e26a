#include <sys/stat.h>
#include <sys/wait.h>

#include <clocale>
#include <cstdio>
#include <fstream>

#include <gtest/gtest.h>

#include "history/file/HistoryFile.h"
#include "history/internal/HistoryParser.h"
#include "history/internal/PlistNodes.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

// The command's standard output; a failure of the command fails the test.
std::string run(const std::string& command) {
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    char buffer[4096];
    for (std::size_t n = 0; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        output.append(buffer, n);
    }
    const int status = pipe ? ::pclose(pipe) : -1;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
    return output;
}

// Dates of 1900 and 2100 lie outside the 32-bit seconds libplist's accessors
// pass; a bell and a byte that is not UTF-8 cannot be carried by XML.
HistoryFile::RecordList sample() {
    auto record = std::make_shared<RadiationHistoryRecord>();
    record->setUdid("0123456789abcdef");
    record->setTag("Café <a&b> ]]> \"ok\"\x07\xff\t");
    record->setStartDate(Date::fromUnixSeconds(1300000000.75));
    record->setStopDate(Date::fromUnixSeconds(4102444800.0));
    record->setLatitude(0.1 + 0.2);
    record->setLongitude(-0.1275);
    record->setRadionEvents({RadiationEvent(1.0 / 3.0, 5), RadiationEvent(2.25, 1)});
    record->setSimulated(true);
    auto bare = std::make_shared<RadiationHistoryRecord>();
    bare->setTag("");
    bare->setStartDate(Date::fromUnixSeconds(-2208988800.0));
    return {record, bare};
}

std::string serialized(const HistoryFile::RecordList& records) {
    return HistoryFile::serialize(records).value_or("");
}

// One line per fact, reals in hex.
const char* kPythonDump = R"(python3 -c '
import plistlib, sys
for r in plistlib.load(open(sys.argv[1], "rb")):
    print(sorted(r.keys()), r.get("simulated"))
    print(repr(r.get("tag")), repr(r.get("udid")))
    for k in ("startDate", "stopDate"):
        if k in r: print(k, r[k].isoformat())
    print(r["latitude"].hex(), r["longitude"].hex())
    print([(e["timeInterval"].hex(), e["numberOfParticules"]) for e in r["radionEvents"]])
' )";

TEST(HistoryFileTest, OtherPropertyListToolsReadWhatWeWriteAndWeReadTheirs) {
    if (std::system("which python3 plistutil >/dev/null") != 0) {
        GTEST_SKIP() << "python3 or plistutil is missing: nothing to compare with";
    }
    test::TemporaryDirectory dir;
    const auto path = dir.path() / "radiationHistory.txt";
    // Written under a decimal-comma locale: numbers must keep their point.
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "fr_FR.UTF-8"), nullptr);
    std::ofstream(path, std::ios::binary) << serialized(sample());
    std::setlocale(LC_ALL, previous.c_str());

    EXPECT_EQ(run(kPythonDump + path.string()),
              "['latitude', 'longitude', 'radionEvents', 'simulated', 'startDate', 'stopDate', "
              "'tag', 'udid'] True\n"
              "'Café <a&b> ]]> \"ok\"\uFFFD\uFFFD\\t' '0123456789abcdef'\n"
              "startDate 2011-03-13T07:06:40\n"
              "stopDate 2100-01-01T00:00:00\n"
              "0x1.3333333333334p-2 -0x1.051eb851eb852p-3\n"
              "[('0x1.5555555555555p-2', 5), ('0x1.2000000000000p+1', 1)]\n"
              "['latitude', 'longitude', 'radionEvents', 'startDate', 'tag'] None\n"
              "'' None\n"
              "startDate 1900-01-01T00:00:00\n"
              "0x0.0p+0 0x0.0p+0\n"
              "[]\n");

    // We and plistutil's binary copy read back the same (whole-second dates,
    // texts XML cannot carry replaced).
    const auto binary = dir.path() / "binary.plist";
    run("plistutil -i " + path.string() + " -o " + binary.string() + " -f bin");
    const auto expected = sample();
    RadiationHistoryRecord first = *expected[0];
    first.setStartDate(Date::fromUnixSeconds(1300000000.0));
    first.setTag("Café <a&b> ]]> \"ok\"\uFFFD\uFFFD\t");
    for (const auto& file : {path, binary}) {
        const auto result = HistoryFile::read(file);
        ASSERT_TRUE(result) << result.error();
        ASSERT_EQ(result->records.size(), 2u);
        EXPECT_EQ(*result->records[0], first);
        EXPECT_EQ(*result->records[1], *expected[1]);
    }

    // What python writes, with values at the edges of what is loaded.
    run(R"(python3 -c '
import plistlib, sys, datetime
r = {"radionEvents": [{"numberOfParticules": 7, "timeInterval": 0.1}, {"timeInterval": 3}],
     "tag": "Über <1> & 2", "latitude": 1e300, "longitude": -122.4194155,
     "startDate": datetime.datetime(1000, 1, 1, 0, 0, 0),
     "stopDate": datetime.datetime(9999, 12, 31, 23, 59, 59), "other": [1, 2]}
e = {"latitude": -12, "startDate": datetime.datetime(2012, 2, 29, 23, 59, 59),
     "radionEvents": [{"numberOfParticules": -2**31, "timeInterval": -1.5e-3}]}
plistlib.dump([r, "not a record", {}, e], open(sys.argv[1], "wb"))
' )" + path.string());
    const auto read = HistoryFile::read(path);
    ASSERT_TRUE(read) << read.error();
    const HistoryFile::Contents& loaded = *read;
    EXPECT_EQ(loaded.skipped, 1u);
    ASSERT_EQ(loaded.records.size(), 3u);
    RadiationHistoryRecord theirs;
    theirs.setTag("Über <1> & 2");
    theirs.setLatitude(1e300);
    theirs.setLongitude(-122.4194155);
    theirs.setStartDate(Date::fromUnixSeconds(-30610224000.0));  // 1000-01-01
    theirs.setStopDate(Date::fromUnixSeconds(253402300799.0));   // 9999-12-31T23:59:59
    theirs.setRadionEvents({RadiationEvent(0.1, 7), RadiationEvent(3.0, 0)});
    EXPECT_EQ(*loaded.records[0], theirs);
    EXPECT_EQ(*loaded.records[1], RadiationHistoryRecord());
    theirs = RadiationHistoryRecord();
    theirs.setLatitude(-12.0);
    theirs.setStartDate(Date::fromUnixSeconds(1330559999.0));  // 2012-02-29T23:59:59
    theirs.setRadionEvents({RadiationEvent(-1.5e-3, INT32_MIN)});
    EXPECT_EQ(*loaded.records[2], theirs);

    // Saved again, the extreme dates are written as they were loaded.
    const std::string bytes = serialized(loaded.records);
    EXPECT_NE(bytes.find("<date>1000-01-01T00:00:00Z</date>"), std::string::npos);
    EXPECT_NE(bytes.find("<date>9999-12-31T23:59:59Z</date>"), std::string::npos);
}

TEST(HistoryFileTest, DatesAreNeverClampedNorMadeUp) {
    // A date no reader could read back is refused on save, not changed.
    auto early = std::make_shared<RadiationHistoryRecord>();
    early->setStopDate(Date::fromUnixSeconds(-30610224001.0));  // 0999-12-31T23:59:59Z
    const auto saved = HistoryFile::serialize({sample()[0], early});
    ASSERT_FALSE(saved);
    EXPECT_EQ(saved.error().find("record 1 has a date outside years 1000 to 9999"), 0u);

    // A binary list holds any double: one outside years 1000…9999 is damage.
    PlistNodes::Owned root(plist_new_array());
    PlistNodes::Owned record(plist_new_dict());
    plist_dict_set_item(record.get(), "startDate", PlistNodes::newDate(1e15).release());
    plist_array_append_item(root.get(), record.release());
    char* bytes = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(root.get(), &bytes, &length);
    const auto result = HistoryFile::parse(std::string_view(bytes, length));
    plist_to_bin_free(bytes);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(), "record 0, startDate: a date outside years 1000 to 9999");
}

// A value that cannot be read exactly makes the file unreadable (never
// overwritten: the store moves it aside), with where the value sits.
TEST(HistoryFileTest, DamagedValuesAreRefusedWithTheirPosition) {
    const std::string head = serialized({}).substr(0, serialized({}).find("<array"));
    const auto make = [&](const std::string& record, const std::string& event = "") {
        return head + "<array>\n<dict><key>tag</key><string>fine</string></dict>\n<dict>" + record +
               "<key>radionEvents</key><array><dict/><dict>\n" + event +
               "</dict></array></dict>\n</array>\n</plist>\n";
    };
    // Record part, event part, and where and why the problem says it is refused.
    const std::string count = "<key>numberOfParticules</key>";
    const std::string cases[][3] = {
        {"", "<key>timeInterval</key><integer>010</integer>",
         "line 7, record 1, radionEvents, item 1, timeInterval: '010' is not an integer"},
        {"", count + "<integer>18446744073709551615</integer>", "is not an integer within 64"},
        {"", count + "<integer>3000000000</integer>", "'3000000000' is a particle count beyond"},
        {"", count + "<real>2.5</real>", "record 1, radionEvents, item 1, numberOfParticules: a"},
        {"<key>latitude</key><real>4,8</real>", "", "line 6, record 1, latitude: '4,8' is not"},
        {"<key>latitude</key><integer>9007199254740993</integer>", "", "too large to hold"},
        {"<key>startDate</key><date>2011-13-45T99:99:99Z</date>", "", "is not a date"},
        {"<key>stopDate</key><date>2011-02-29T00:00:00Z</date>", "", "stopDate: '2011-02-29"},
        {"<key>startDate</key><date/>", "", "startDate: an empty <date/> holds no value"},
        {"<key>startDate</key><date>2011<!---->-03-13T07:06:40Z</date>", "", "holds markup"},
        {"<key>tag\x1b]0;x</key><real>1\x1b[2J</real>", "", "tag?]0;x: '1?[2J' is not"},
    };
    for (const auto& [record, event, problem] : cases) {
        const auto document = make(record, event);
        for (auto reader :
             {HistoryParser::Reader::ByRecord, HistoryParser::Reader::WholeDocument}) {
            const auto result = HistoryParser::parse(document, reader);
            ASSERT_FALSE(result) << document;
            EXPECT_NE(result.error().find(problem), std::string::npos) << result.error();
        }
    }
}

TEST(HistoryFileTest, TellsMissingFromUnreadable) {
    test::TemporaryDirectory dir;
    const auto none = HistoryFile::read(dir.path() / "none");
    ASSERT_TRUE(none);
    EXPECT_FALSE(none->exists);
    // A FIFO in the file's place is refused at once, not waited on.
    ASSERT_EQ(::mkfifo((dir.path() / "fifo").c_str(), 0600), 0);
    EXPECT_FALSE(HistoryFile::read(dir.path() / "fifo"));

    // Nesting deep enough to overflow libplist's recursion is refused, not
    // a crash at every launch.
    std::string deep = "<plist version=\"1.0\">";
    for (int i = 0; i < 300000; ++i) {
        deep += "<array>";
    }
    EXPECT_EQ(HistoryFile::parse(deep).error(), "nested far deeper than a history");
}

}  // namespace
}  // namespace kesto
