#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>

#include <gtest/gtest.h>

#include "history/AtomicFile.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

// Files a save removes (true) or must leave alone (false): only temporaries
// of this file whose process is gone.
TEST(AtomicFileTest, ASaveRemovesOnlyTheTemporariesOfDeadSaves) {
    test::TemporaryDirectory dir;
    const pid_t gone = ::fork();
    if (gone == 0) {
        ::_exit(0);
    }
    ::waitpid(gone, nullptr, 0);
    const std::string dead = std::to_string(gone);
    const std::string live = std::to_string(::getpid());
    const std::pair<std::string, bool> files[] = {
        {"radiationHistory.txt.tmp-" + dead + "-a1B2c3", true},
        {"radiationHistory.txt.tmp-" + live + "-a1B2c3", false},  // another thread's save
        {"radiationHistory.txt.tmp-1-a1B2c3", false},             // init never goes away
        {"radiationHistory.txt.tmp-a1B2c3", false},               // no owner to ask
        {"radiationHistory.txt.tmp-" + dead + "-a1B2c3.bak", false},
        {"other.txt.tmp-" + dead + "-a1B2c3", false},
    };
    for (const auto& [name, removed] : files) {
        std::ofstream(dir.path() / name) << "partial";
    }
    const auto replaced = AtomicFile::replace(dir.path() / "radiationHistory.txt", "new");
    ASSERT_TRUE(replaced) << replaced.error();
    for (const auto& [name, removed] : files) {
        EXPECT_EQ(std::filesystem::exists(dir.path() / name), !removed) << name;
    }
}

TEST(AtomicFileTest, AKillDuringASaveLeavesTheOldOrTheNewFileWhole) {
    test::TemporaryDirectory dir;
    const auto path = dir.path() / "radiationHistory.txt";
    const std::string a(3 << 20, 'a');
    const std::string b(2 << 20, 'b');
    ASSERT_TRUE(AtomicFile::replace(path, a));

    for (int round = 0; round < 8; ++round) {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int n = 0;; ++n) {
                if (n == round) {
                    (void)!::write(ready[1], "x", 1);
                }
                (void)AtomicFile::replace(path, (n % 2) ? a : b);
            }
        }
        ::close(ready[1]);
        char mark = 0;
        ASSERT_EQ(::read(ready[0], &mark, 1), 1);
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        ::close(ready[0]);

        const auto bytes = test::readFileBytes(path);
        const std::string content(bytes.begin(), bytes.end());
        EXPECT_TRUE(content == a || content == b) << "round " << round << ": " << content.size();
    }
    // The next save clears what the killed ones left.
    ASSERT_TRUE(AtomicFile::replace(path, "last"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

}  // namespace
}  // namespace kesto
