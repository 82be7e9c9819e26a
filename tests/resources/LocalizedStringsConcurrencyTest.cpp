#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "LocaleScope.h"
#include "platform/LocalizedStrings.h"

namespace kesto {
namespace {

// Screens look texts up on the main thread while uploads and the frame
// thread may log or look up theirs.
TEST(LocalizedStringsConcurrency, LookupsFromManyThreadsAgree) {
    test::LocaleScope scope("fr_FR.UTF-8");
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&wrong, t] {
            for (int i = 0; i < 400; ++i) {
                const auto& keys = test::screenKeys();
                const auto& key = keys[static_cast<size_t>(i + t) % keys.size()];
                const auto text = LocalizedStrings::localizedString(key);
                if (text.empty() || text == key) {
                    ++wrong;
                }
                if (LocalizedStrings::localizedString("Yes") != "Oui") {
                    ++wrong;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace kesto
