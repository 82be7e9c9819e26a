#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/NotificationCenter.h"

namespace kesto {
namespace {

TEST(NotificationCenterTest, DeliversByNameAndSenderFilterOnThePostingThread) {
    NotificationCenter center;
    int any = 0, filtered = 0;
    int senderA = 0, senderB = 0;
    std::vector<std::string> seen;
    center.addObserver(&any, "N", [&](const Notification& n) { seen.emplace_back(n.name); });
    center.addObserver(
        &filtered, "N", [&](const Notification&) { seen.emplace_back("A only"); }, &senderA);
    center.post("N", &senderB);
    center.post("Other", &senderA);
    center.post("N", &senderA);
    EXPECT_EQ(seen, (std::vector<std::string>{"N", "N", "A only"}));
}

TEST(NotificationCenterTest, PayloadReachesObserversAndRemovalEndsDelivery) {
    NotificationCenter center;
    int observer = 0;
    std::int64_t got = 0;
    int calls = 0;
    center.addObserver(&observer, "N", [&](const Notification& n) {
        ++calls;
        if (n.payload) {
            got = *n.payload->arrayValue()->at(1).integerValue();
        }
    });
    const auto payload =
        PropertyListValue::array({PropertyListValue::integer(1), PropertyListValue::integer(20)});
    center.post("N", nullptr, &payload);
    EXPECT_EQ(got, 20);
    center.removeObserver(&observer, "Other");
    center.post("N");
    EXPECT_EQ(calls, 2);
    center.removeObserver(&observer, "N");
    center.post("N");
    EXPECT_EQ(calls, 2);
}

TEST(NotificationCenterTest, ObserverMayRemoveItselfOrOthersDuringAPost) {
    NotificationCenter center;
    int first = 0, second = 0;
    int firstCalls = 0, secondCalls = 0;
    center.addObserver(&first, "N", [&](const Notification&) {
        ++firstCalls;
        center.removeObserver(&first);
        center.removeObserver(&second);
    });
    center.addObserver(&second, "N", [&](const Notification&) { ++secondCalls; });
    center.post("N");
    center.post("N");
    EXPECT_EQ(firstCalls, 1);
    EXPECT_EQ(secondCalls, 0);  // removed before its turn in the same post
}

}  // namespace
}  // namespace kesto
