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

// Two threads' actions all run on the main thread, one at a time, each
// thread's in its order, and each answer goes back to its own sender; an
// action whose sender gave up before it started is never applied.
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
    std::mutex mutex;
    std::vector<std::string> answers;
    std::atomic<int> sent{0};
    auto sender = [&](std::string who) {
        for (int i = 0; i < 50; ++i) {
            const bool giveUp = i % 10 == 9;
            queue.submit(
                {{"n", label(who, i)}}, [giveUp] { return !giveUp; },
                [&](json answer) {
                    std::lock_guard lock(mutex);
                    answers.push_back(answer["echo"]);
                });
        }
        ++sent;
        RunLoop::main().dispatch([] {});
    };
    std::thread a(sender, "a");
    std::thread b(sender, "b");
    RunLoop::main().runUntilCondition([&] { return sent == 2; }, 30.0);
    a.join();
    b.join();
    RunLoop::main().runPending();
    ASSERT_EQ(applied.size(), 90u);
    EXPECT_EQ(answers, applied);
    std::vector<std::string> fromA;
    for (const auto& n : applied) {
        if (n[0] == 'a') {
            fromA.push_back(n);
        }
    }
    ASSERT_EQ(fromA.size(), 45u);
    EXPECT_EQ(fromA[8], label("a", 8));
    EXPECT_EQ(fromA[9], label("a", 10));  // a9 was given up
    queue.close();
    EXPECT_FALSE(queue.submit(
        {{"n", "late"}}, [] { return true; }, [](json) {}));
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
