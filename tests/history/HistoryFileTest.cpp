#include <sys/stat.h>

#include <clocale>
#include <cstdio>
#include <fstream>

#include <gtest/gtest.h>

#include "history/HistoryFile.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

std::string run(const std::string& command) {
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return output;
    }
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, n);
    }
    ::pclose(pipe);
    return output;
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

HistoryFile::RecordList sample() {
    auto record = std::make_shared<RadiationHistoryRecord>();
    record->setUdid("0123456789abcdef");
    record->setTag("Café <a&b> ]]> \"ok\"");
    record->setStartDate(Date::fromUnixSeconds(1300000000.75));
    record->setStopDate(Date::fromUnixSeconds(1300000036.0));
    record->setLatitude(0.1 + 0.2);
    record->setLongitude(-0.1275);
    record->setRadionEvents({RadiationEvent(1.0 / 3.0, 5), RadiationEvent(2.25, 1)});
    auto bare = std::make_shared<RadiationHistoryRecord>();
    bare->setTag("");
    return {record, bare};
}

// What python3's plistlib makes of a file: one line per fact, reals in hex.
const char* kPythonDump = R"(python3 -c '
import plistlib, sys
for r in plistlib.load(open(sys.argv[1], "rb")):
    print(sorted(r.keys()))
    print(repr(r.get("tag")), repr(r.get("udid")))
    for k in ("startDate", "stopDate"):
        if k in r: print(k, r[k].isoformat())
    print(r["latitude"].hex(), r["longitude"].hex())
    print([(e["timeInterval"].hex(), e["numberOfParticules"]) for e in r["radionEvents"]])
' )";

TEST(HistoryFileTest, OtherPropertyListToolsReadWhatWeWrite) {
    test::TemporaryDirectory dir;
    const auto path = dir.path() / "radiationHistory.txt";
    const std::string bytes = HistoryFile::serialize(sample());
    writeFile(path, bytes);
    EXPECT_EQ(bytes.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                          "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                          "<plist version=\"1.0\">\n<array>\n",
                          0),
              0u);

    EXPECT_EQ(run(kPythonDump + path.string()),
              "['latitude', 'longitude', 'radionEvents', 'startDate', 'stopDate', 'tag', 'udid']\n"
              "'Café <a&b> ]]> \"ok\"' '0123456789abcdef'\n"
              "startDate 2011-03-13T07:06:40\n"
              "stopDate 2011-03-13T07:07:16\n"
              "0x1.3333333333334p-2 -0x1.051eb851eb852p-3\n"
              "[('0x1.5555555555555p-2', 5), ('0x1.2000000000000p+1', 1)]\n"
              "['latitude', 'longitude', 'radionEvents', 'tag']\n"
              "'' None\n"
              "0x0.0p+0 0x0.0p+0\n"
              "[]\n");

    // plistutil turns it into a binary list, which we read back unchanged
    // (the dates now hold whole seconds).
    const auto binary = dir.path() / "binary.plist";
    run("plistutil -i " + path.string() + " -o " + binary.string() + " -f bin");
    const auto result = HistoryFile::read(binary);
    ASSERT_EQ(result.status, HistoryFile::Status::Loaded);
    ASSERT_EQ(result.records.size(), 2u);
    const auto expected = sample();
    EXPECT_EQ(result.records[0]->startDate(), Date::fromUnixSeconds(1300000000.0));
    EXPECT_EQ(result.records[0]->tag(), expected[0]->tag());
    EXPECT_EQ(result.records[0]->latitude(), expected[0]->latitude());
    EXPECT_EQ(result.records[0]->radionEvents(), expected[0]->radionEvents());
    EXPECT_EQ(*result.records[1], *expected[1]);
}

TEST(HistoryFileTest, ReadsWhatPythonWrites) {
    test::TemporaryDirectory dir;
    const auto path = dir.path() / "radiationHistory.txt";
    run(R"(python3 -c '
import plistlib, sys, datetime
r = {"radionEvents": [{"numberOfParticules": 7, "timeInterval": 0.1}, {"timeInterval": 3}],
     "tag": "Über <1> & 2", "latitude": 1e300, "longitude": -122.4194155,
     "startDate": datetime.datetime(2011, 3, 13, 7, 6, 40),
     "stopDate": datetime.datetime(2011, 3, 13, 7, 7, 16), "other": [1, 2]}
plistlib.dump([r, "not a record", {}], open(sys.argv[1], "wb"))
' )" + path.string());
    const auto result = HistoryFile::read(path);
    ASSERT_EQ(result.status, HistoryFile::Status::Loaded);
    EXPECT_EQ(result.skipped, 1u);
    ASSERT_EQ(result.records.size(), 2u);
    const RadiationHistoryRecord& r = *result.records[0];
    EXPECT_EQ(r.tag(), "Über <1> & 2");
    EXPECT_FALSE(r.udid());
    EXPECT_EQ(r.latitude(), 1e300);
    EXPECT_EQ(r.longitude(), -122.4194155);
    EXPECT_EQ(r.startDate(), Date::fromUnixSeconds(1300000000.0));
    EXPECT_EQ(r.duration(), 36.0);
    EXPECT_EQ(r.radionEvents(),
              (std::vector<RadiationEvent>{RadiationEvent(0.1, 7), RadiationEvent(3.0, 0)}));
    EXPECT_EQ(*result.records[1], RadiationHistoryRecord());
}

TEST(HistoryFileTest, NumbersSurviveADecimalCommaLocale) {
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "fr_FR.UTF-8"), nullptr) << "fr_FR.UTF-8 is not installed";
    const std::string bytes = HistoryFile::serialize(sample());
    const auto result = HistoryFile::parse(bytes);
    std::setlocale(LC_ALL, previous.c_str());

    EXPECT_NE(bytes.find("<real>0.30000000000000004</real>"), std::string::npos);
    ASSERT_EQ(result.records.size(), 2u);
    EXPECT_EQ(result.records[0]->latitude(), 0.1 + 0.2);
    EXPECT_EQ(result.records[0]->longitude(), -0.1275);
    EXPECT_EQ(result.records[0]->radionEvents()[0].timeStamp(), 1.0 / 3.0);
}

TEST(HistoryFileTest, TextsXmlCannotCarryAreReplacedSoEveryReaderCanStillLoadTheFile) {
    test::TemporaryDirectory dir;
    const auto path = dir.path() / "radiationHistory.txt";
    auto record = std::make_shared<RadiationHistoryRecord>();
    record->setTag(std::string("bell\x07 bad\xff end\tok"));
    writeFile(path, HistoryFile::serialize({record}));

    EXPECT_EQ(run("python3 -c 'import plistlib,sys; "
                  "print(ascii(plistlib.load(open(sys.argv[1],\"rb\"))[0][\"tag\"]))' " +
                  path.string()),
              "'bell\\ufffd bad\\ufffd end\\tok'\n");
    EXPECT_EQ(HistoryFile::read(path).records.at(0)->tag(),
              "bell\xEF\xBF\xBD bad\xEF\xBF\xBD end\tok");
}

TEST(HistoryFileTest, TellsMissingFromUnreadableAndSkipsNonRecords) {
    test::TemporaryDirectory dir;
    EXPECT_EQ(HistoryFile::read(dir.path() / "none").status, HistoryFile::Status::Missing);
    EXPECT_EQ(HistoryFile::read(dir.path()).status, HistoryFile::Status::Unreadable);
    // A FIFO in the file's place is refused at once, not waited on.
    ASSERT_EQ(::mkfifo((dir.path() / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(HistoryFile::read(dir.path() / "fifo").status, HistoryFile::Status::Unreadable);

    for (const std::string& bad : {std::string(), std::string("garbage"),
                                   std::string("<plist version=\"1.0\"><array><dict>"),
                                   HistoryFile::serialize(sample()).substr(0, 400)}) {
        EXPECT_EQ(HistoryFile::parse(bad).status, HistoryFile::Status::Unreadable) << bad;
    }
    const auto notArray = HistoryFile::parse(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict/></plist>");
    EXPECT_EQ(notArray.status, HistoryFile::Status::Unreadable);
    EXPECT_EQ(notArray.problem, "the property list's root is not an array");

    // Nesting deep enough to overflow libplist's recursion is refused, not
    // a crash at every launch.
    const std::string deep = std::string("<plist version=\"1.0\"><array>") + [] {
        std::string open, close;
        for (int i = 0; i < 300000; ++i) {
            open += "<array>";
            close += "</array>";
        }
        return open + close;
    }() + "</array></plist>";
    EXPECT_EQ(HistoryFile::parse(deep).problem, "nested far deeper than a history");

    const auto mixed = HistoryFile::parse(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><array>"
        "<string>x</string><dict><key>tag</key><string>kept</string></dict><integer>3</integer>"
        "</array></plist>");
    ASSERT_EQ(mixed.status, HistoryFile::Status::Loaded);
    EXPECT_EQ(mixed.skipped, 2u);
    ASSERT_EQ(mixed.records.size(), 1u);
    EXPECT_EQ(mixed.records[0]->tag(), "kept");
}

TEST(HistoryFileTest, ReadsRecordByRecordExactlyAsTheWholeDocument) {
    const std::string plain = HistoryFile::serialize(sample());
    const std::string head = plain.substr(0, plain.find("<array>"));
    std::vector<std::string> documents{
        plain,
        // Shapes the record splitter leaves to the whole-document parse.
        head + "<array><!-- note --><dict><key>tag</key><string>a</string></dict></array></plist>",
        head + "<array><dict><key>tag</key><string><![CDATA[<b>]]></string></dict></array></plist>",
        head + "<array><dict/><string>loose</string></array></plist>",
        plain + "trailing",
        // Record chunks libplist refuses: the whole document decides.
        head + "<array><dict><key>tag</key></dict></array></plist>",
        head + "<array><dict><key>tag</key><strin>x</strin></dict></array></plist>",
        plain.substr(0, plain.size() / 2),
    };
    for (const auto& document : documents) {
        const auto byRecord = HistoryFile::parse(document);
        const auto whole = HistoryFile::parse(document, HistoryFile::Reader::WholeDocument);
        ASSERT_EQ(byRecord.status, whole.status) << document;
        EXPECT_EQ(byRecord.skipped, whole.skipped) << document;
        ASSERT_EQ(byRecord.records.size(), whole.records.size()) << document;
        for (std::size_t i = 0; i < whole.records.size(); ++i) {
            EXPECT_EQ(*byRecord.records[i], *whole.records[i]) << document;
        }
    }
}

}  // namespace
}  // namespace kesto
