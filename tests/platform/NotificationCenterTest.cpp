#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/NotificationCenter.h"

namespace kesto {
namespace {

TEST(NotificationCenterTest, DeliversByNameSenderAndPayloadUntilRemovedEvenDuringAPost) {
    NotificationCenter center;
    int any = 0, filtered = 0;
    int senderA = 0, senderB = 0;
    std::vector<std::string> seen;
    center.addObserver(&any, "N", [&](const Notification& n) {
        seen.push_back(n.payload ? std::to_string(*n.payload->arrayValue()->at(1).integerValue())
                                 : std::string(n.name));
    });
    center.addObserver(
        &filtered, "N", [&](const Notification&) { seen.emplace_back("A only"); }, &senderA);
    center.post("N", &senderB);
    center.post("Other", &senderA);
    center.post("N", &senderA);
    const auto payload =
        PropertyListValue::array({PropertyListValue::integer(1), PropertyListValue::integer(20)});
    center.post("N", &senderB, &payload);
    center.removeObserver(&any, "Other");  // another name: still observing "N"
    center.post("N", &senderB);
    center.removeObserver(&any, "N");
    center.post("N", &senderB);
    // An observer may remove itself, and one yet to hear this post, during the post.
    int first = 0, second = 0;
    center.addObserver(&first, "M", [&](const Notification&) {
        seen.emplace_back("first");
        center.removeObserver(&first);
        center.removeObserver(&second);
    });
    center.addObserver(&second, "M", [&](const Notification&) { seen.emplace_back("second"); });
    center.post("M");
    center.post("M");
    EXPECT_EQ(seen, (std::vector<std::string>{"N", "N", "A only", "20", "N", "first"}));
}

}  // namespace
}  // namespace kesto
