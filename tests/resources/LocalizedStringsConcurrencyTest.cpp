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
    {
        std::vector<std::jthread> threads;
        for (size_t t = 0; t < 4; ++t) {
            threads.emplace_back([&wrong, t] {
                const auto& keys = test::screenKeys();
                for (size_t i = 0; i < 400; ++i) {
                    const auto& key = keys[(i + t) % keys.size()];
                    const auto text = LocalizedStrings::localizedString(key);
                    wrong += text.empty() || text == key;
                    wrong += LocalizedStrings::localizedString("Yes") != "Oui";
                }
            });
        }
    }
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace kesto
