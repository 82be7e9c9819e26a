#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/UniqueFd.h"
#include "web/ActionQueue.h"
#include "web/WebFixture.h"

namespace kesto {
namespace {

using nlohmann::json;

// Built by append: GCC 12 warns wrongly on label("a", i) at -O3.
std::string label(const std::string& who, int i) {
    std::string out = who;
    out.append(std::to_string(i));
    return out;
}

bool ready(const std::future<std::vector<json>>& f) {
    return f.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

// Two threads' actions all run on the main thread, one at a time, each
// thread's in its order, and each answer goes back to its own sender.
TEST(ActionQueueTest, ActionsRunOnTheLoopOneAtATimeInArrivalOrder) {
    std::vector<std::string> applied;
    bool inside = false;
    ActionQueue queue([&](const json& action) {
        EXPECT_TRUE(RunLoop::isMainThread());
        EXPECT_FALSE(inside);
        inside = true;
        applied.push_back(action["n"]);
        inside = false;
        return json{{"echo", action["n"]}};
    });
    auto sender = [&queue](std::string who) {
        std::vector<json> answers;
        for (int i = 0; i < 50; ++i) {
            auto answer = queue.perform({{"n", label(who, i)}}, std::chrono::seconds(10));
            answers.push_back(answer.value_or(json()));
            RunLoop::main().dispatch([] {});
        }
        return answers;
    };
    auto a = std::async(std::launch::async, sender, "a");
    auto b = std::async(std::launch::async, sender, "b");
    RunLoop::main().runUntilCondition([&] { return ready(a) && ready(b); }, 30.0);
    const auto answersA = a.get();
    const auto answersB = b.get();
    ASSERT_EQ(applied.size(), 100u);
    std::vector<std::string> fromA;
    for (const auto& n : applied) {
        if (n[0] == 'a') {
            fromA.push_back(n);
        }
    }
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(fromA[i], label("a", i));
        EXPECT_EQ(answersA[i]["echo"], label("a", i));
        EXPECT_EQ(answersB[i]["echo"], label("b", i));
    }
}

// The sender was told it failed: the action must not happen later.
TEST(ActionQueueTest, AnActionNotStartedInTimeIsNeverApplied) {
    int applied = 0;
    ActionQueue queue([&](const json&) {
        ++applied;
        return json{{"ok", true}};
    });
    auto late = std::async(std::launch::async, [&] {
        return queue.perform({{"n", 1}}, std::chrono::milliseconds(20)).has_value();
    });
    EXPECT_FALSE(late.get());  // the loop is not running meanwhile
    RunLoop::main().runPending();
    EXPECT_EQ(applied, 0);
    queue.close();
    EXPECT_FALSE(queue.perform({{"n", 2}}, std::chrono::seconds(1)).has_value());
}

class WebServerConcurrencyTest : public test::WebFixture {};

// A browser that never reads fills its socket; the loop keeps publishing,
// and a reading browser still gets the newest state.
TEST_F(WebServerConcurrencyTest, ABrowserThatStopsReadingNeverBlocksTheRunLoop) {
    startWeb();
    const UniqueFd slow(socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(web.port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(slow.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const int small = 4096;
    setsockopt(slow.get(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    const std::string request =
        "GET /events HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(web.port()) + "\r\n\r\n";
    ASSERT_EQ(write(slow.get(), request.data(), request.size()),
              static_cast<ssize_t>(request.size()));
    // Nothing wakes the loop when the server takes the stream: look again every 10 ms.
    for (int i = 0; i < 1000 && web.publisher()->subscriberCount() == 0; ++i) {
        RunLoop::main().runUntilCondition([] { return false; }, 0.01);
    }
    ASSERT_EQ(web.publisher()->subscriberCount(), 1u);

    test::EventStream reader(web.port());
    ASSERT_GE(reader.waitFor(1).size(), 1u);
    test::WebCounterScreen* screen =
        static_cast<test::WebTestAppDelegate*>(Application::sharedApplication().delegate())
            ->screen.get();
    const auto before = web.publisher()->version();
    for (int i = 0; i < 200; ++i) {
        screen->lblCount->setText(label(std::string(50000, 'x'), i));
        RunLoop::main().dispatch([] {});
        RunLoop::main().runPending();
    }
    EXPECT_EQ(web.publisher()->version(), before + 200);
    screen->lblCount->setText("last");
    RunLoop::main().dispatch([] {});
    RunLoop::main().runUntilCondition(
        [&] {
            const auto shots = reader.snapshots();
            return !shots.empty() && shownCount(shots.back()) == "last";
        },
        20.0);
    const auto shots = reader.snapshots();
    EXPECT_EQ(shownCount(shots.back()), "last");
    web.stop();
    reader.waitFor(100000);  // until the stream ends
}

}  // namespace
}  // namespace kesto
