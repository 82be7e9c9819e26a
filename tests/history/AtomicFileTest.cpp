#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <gtest/gtest.h>

#include "history/AtomicFile.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

std::string readText(const std::filesystem::path& path) {
    const auto bytes = test::readFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

TEST(AtomicFileTest, ReplacesWholeAndLeavesNoTemporaryBehind) {
    test::TemporaryDirectory dir;
    const auto path = dir.path() / "radiationHistory.txt";
    std::string error;
    ASSERT_TRUE(AtomicFile::replace(path, "old", error)) << error;
    ASSERT_TRUE(AtomicFile::replace(path, "new content", error)) << error;
    EXPECT_EQ(readText(path), "new content");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);

    EXPECT_FALSE(AtomicFile::replace(dir.path() / "no-such-dir" / "file", "x", error));
    EXPECT_NE(error.find("no-such-dir"), std::string::npos);
}

// A process killed at any moment of a save leaves the old file or the new
// one, each whole: never a mix, a truncation or nothing.
TEST(AtomicFileTest, AKillDuringASaveLeavesTheOldOrTheNewFileWhole) {
    test::TemporaryDirectory dir;
    const auto path = dir.path() / "radiationHistory.txt";
    const std::string a(3 << 20, 'a');
    const std::string b(2 << 20, 'b');
    std::string error;
    ASSERT_TRUE(AtomicFile::replace(path, a, error)) << error;

    for (int round = 0; round < 8; ++round) {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            std::string childError;
            for (int n = 0;; ++n) {
                const char mark = 'x';
                // Tell the parent a save is under way, then keep saving.
                if (n == round) {
                    (void)!::write(ready[1], &mark, 1);
                }
                AtomicFile::replace(path, (n % 2) ? a : b, childError);
            }
        }
        ::close(ready[1]);
        char mark = 0;
        ASSERT_EQ(::read(ready[0], &mark, 1), 1);
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ::close(ready[0]);

        const std::string content = readText(path);
        EXPECT_TRUE(content == a || content == b) << "round " << round << ": " << content.size();
    }
}

}  // namespace
}  // namespace kesto
