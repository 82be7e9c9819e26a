#include <pwd.h>
#include <unistd.h>

#include <array>
#include <fstream>

#include <gtest/gtest.h>

#include "history/RadiationHistoryMng.h"
#include "history/file/WriterLock.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

std::shared_ptr<RadiationHistoryRecord> record(const std::string& tag, double seconds,
                                               std::size_t events) {
    auto r = std::make_shared<RadiationHistoryRecord>();
    r->setTag(tag);
    r->setStartDate(Date::fromUnixSeconds(1300000000.5));
    r->setStopDate(Date::fromUnixSeconds(1300000000.5 + seconds));
    r->setRadionEvents(std::vector<RadiationEvent>(events, RadiationEvent(0.5, 2)));
    return r;
}

std::vector<std::string> tags() {
    std::vector<std::string> result;
    for (const auto& r : *RadiationHistoryMng::getRadiationHistoryRecordList()) {
        result.push_back(r->tag().value_or("?"));
    }
    return result;
}

class RadiationHistoryMngTest : public ::testing::Test {
  protected:
    void SetUp() override { RadiationHistoryMng::resetForTesting(dir.path() / "data"); }
    void TearDown() override { RadiationHistoryMng::resetForTesting(dir.path() / "gone"); }

    std::filesystem::path file() const { return dir.path() / "data" / "radiationHistory.txt"; }
    void writeFile(const std::string& bytes) {
        std::filesystem::create_directories(file().parent_path());
        std::ofstream(file(), std::ios::binary) << bytes;
    }

    test::TemporaryDirectory dir;
    test::ConsoleCapture console;
    test::ManualClock clock;
};

TEST_F(RadiationHistoryMngTest, RegisterPutsNewestFirstInListAndFileAndLoadReplaces) {
    RadiationHistoryMng::loadRadiationHistoryRecordListFromLocal();
    EXPECT_EQ(RadiationHistoryMng::lastLoadState(), RadiationHistoryMng::LoadState::Missing);
    EXPECT_EQ(RadiationHistoryMng::getRadiationHistoryRecordList(), nullptr);

    const auto a = record("A", 1.1, 1);
    RadiationHistoryMng::registerRadiationHistoryRecord(a);
    RadiationHistoryMng::registerRadiationHistoryRecord(record("B", 2.2, 2));
    EXPECT_EQ(tags(), (std::vector<std::string>{"B", "A"}));
    EXPECT_EQ(RadiationHistoryMng::timeTotal(), 3.299999952316284);  // summed as floats
    // Shared, not copied.
    EXPECT_EQ(RadiationHistoryMng::getRadiationHistoryRecordList()->at(1).get(), a.get());

    // A load replaces the list's contents; dates come back in whole seconds.
    RadiationHistoryMng::loadRadiationHistoryRecordListFromLocal();
    EXPECT_EQ(tags(), (std::vector<std::string>{"B", "A"}));
    const auto& reloaded = *RadiationHistoryMng::getRadiationHistoryRecordList()->at(1);
    EXPECT_EQ(reloaded.startDate(), Date::fromUnixSeconds(1300000000.0));
    EXPECT_EQ(reloaded.radionEvents(), a->radionEvents());
}

TEST_F(RadiationHistoryMngTest, AnUnreadableFileIsMovedAsideNotOverwritten) {
    writeFile("<plist><array><dict><key>tag</key>");
    RadiationHistoryMng::loadRadiationHistoryRecordListFromLocal();
    EXPECT_EQ(RadiationHistoryMng::lastLoadState(), RadiationHistoryMng::LoadState::Unreadable);
    EXPECT_EQ(RadiationHistoryMng::getRadiationHistoryRecordList(), nullptr);

    RadiationHistoryMng::registerRadiationHistoryRecord(record("new", 5.0, 1));
    // ManualClock's start, 2011-03-13 07:06:40.25 UTC.
    const auto aside = file().string() + ".unreadable-20110313T070640Z";
    ASSERT_TRUE(std::filesystem::exists(aside));
    EXPECT_EQ(test::readFileBytes(aside).size(), 34u);
    RadiationHistoryMng::loadRadiationHistoryRecordListFromLocal();
    EXPECT_EQ(tags(), std::vector<std::string>{"new"});

    // A second unreadable file in the same second gets its own name.
    writeFile("not again");
    RadiationHistoryMng::resetForTesting(dir.path() / "data");
    RadiationHistoryMng::registerRadiationHistoryRecord(record("newer", 5.0, 1));
    EXPECT_EQ(test::readFileBytes(aside + "-2").size(), 9u);  // "not again"
}

TEST_F(RadiationHistoryMngTest, AFailedSaveKeepsEveryRecordInMemoryAndTheOldFile) {
    // A file in the data directory's place: nothing can be saved there.
    std::ofstream(dir.path() / "blocked") << "x";
    RadiationHistoryMng::resetForTesting(dir.path() / "blocked");
    RadiationHistoryMng::registerRadiationHistoryRecord(record("kept", 5.0, 1));
    EXPECT_FALSE(RadiationHistoryMng::lastSave());
    EXPECT_EQ(tags(), std::vector<std::string>{"kept"});

    // Once the way is clear, the next save writes everything.
    std::filesystem::remove(dir.path() / "blocked");
    RadiationHistoryMng::registerRadiationHistoryRecord(record("later", 5.0, 1));
    EXPECT_TRUE(RadiationHistoryMng::lastSave());
    RadiationHistoryMng::loadRadiationHistoryRecordListFromLocal();
    EXPECT_EQ(tags(), (std::vector<std::string>{"later", "kept"}));
}

TEST_F(RadiationHistoryMngTest, OneProcessAtATimeSavesIntoAHistory) {
    // Another holder of the history's lock (an open-file-description lock, so
    // one in this process stands for another process).
    auto other = std::make_optional(WriterLock::acquire(dir.path() / "data"));
    ASSERT_TRUE(*other) << other->error();

    // Saving is refused, naming the holder; the record stays in memory.
    const auto refused = RadiationHistoryMng::claimWriter();
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().find("being saved by process " + std::to_string(::getpid())),
              std::string::npos)
        << refused.error();
    RadiationHistoryMng::registerRadiationHistoryRecord(record("waiting", 5.0, 1));
    EXPECT_FALSE(RadiationHistoryMng::lastSave());
    EXPECT_FALSE(std::filesystem::exists(file()));
    EXPECT_EQ(tags(), std::vector<std::string>{"waiting"});

    // The simulated history has a writer of its own.
    RadiationHistoryMng::setSimulated(true);
    EXPECT_TRUE(RadiationHistoryMng::claimWriter());
    RadiationHistoryMng::setSimulated(false);

    // Once the holder is gone, this process becomes the writer, for good.
    other.reset();
    RadiationHistoryMng::registerRadiationHistoryRecord(record("saved", 5.0, 1));
    EXPECT_TRUE(RadiationHistoryMng::lastSave());
    EXPECT_TRUE(RadiationHistoryMng::claimWriter());
}

TEST_F(RadiationHistoryMngTest, DataDirectoryIsAlwaysAnAbsoluteChoice) {
    test::ScopedEnvironment environment;
    const passwd* entry = ::getpwuid(::getuid());
    ASSERT_TRUE(entry != nullptr && entry->pw_dir[0] == '/');
    const std::string account = std::string(entry->pw_dir) + "/.local/share/kesto";
    // $KESTO_DATA_DIR, $XDG_DATA_HOME, $HOME (nullptr: unset) -> directory; the
    // --data-dir option, above them all, is what the command tests use.
    const std::pair<std::array<const char*, 3>, std::string> cases[] = {
        {{nullptr, "relative/ignored", "/home/someone"}, "/home/someone/.local/share/kesto"},
        {{nullptr, nullptr, "relative"}, account},
        {{nullptr, "/xdg", "relative"}, "/xdg/kesto"},
        {{"/own", "/xdg", "/home/someone"}, "/own"},
    };
    RadiationHistoryMng::setDataDirectory(std::nullopt);
    for (const auto& [in, directory] : cases) {
        const char* names[] = {"KESTO_DATA_DIR", "XDG_DATA_HOME", "HOME"};
        for (int i = 0; i < 3; ++i) {
            environment.set(names[i], in[i]);
        }
        EXPECT_EQ(RadiationHistoryMng::dataFilePath(), directory) << in[2];
        EXPECT_TRUE(RadiationHistoryMng::resolveDataDirectory());
    }
}

}  // namespace
}  // namespace kesto
