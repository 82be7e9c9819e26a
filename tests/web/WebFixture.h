#pragma once

#include <atomic>
#include <chrono>
#include <fstream>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/ResourceLocator.h"
#include "platform/RunLoop.h"
#include "support/TestSupport.h"
#include "toolkit/Application.h"
#include "toolkit/Label.h"
#include "web/HttpTestClient.h"
#include "web/SnapshotPublisher.h"
#include "web/WebFrontEnd.h"

namespace kesto::test {

// A counter: a label and a button that adds one.
class WebCounterScreen : public ViewController {
  public:
    WebCounterScreen() : ViewController("WebCounterScreen") {}
    void declareBindings(Bindings& b) override {
        b.outlet("lblCount", lblCount);
        b.action("add", [this] { lblCount->setText(std::to_string(++count)); });
    }
    void viewDidLoad() override { lblCount->setText("0"); }
    Label* lblCount = nullptr;
    int count = 0;
};

class WebTestAppDelegate : public ApplicationDelegate {
  public:
    bool didFinishLaunchingWithOptions(Application&) override {
        window()->setRootViewController(screen.get());
        window()->makeKeyAndVisible();
        return true;
    }
    std::unique_ptr<WebCounterScreen> screen = std::make_unique<WebCounterScreen>();
};

// Reads one /events stream on its own thread and keeps the snapshots.
class EventStream {
  public:
    explicit EventStream(int port, const std::string& headers = "") : client_(port) {
        client_.send("GET /events HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n" +
                     headers + "\r\n");
        thread_ = std::thread([this] {
            std::string raw;
            while (!stopping_) {
                const std::string some = client_.receiveSome(50);
                if (some.empty() && client_.ended()) {
                    break;
                }
                raw += some;
                feed(raw);
            }
            ended_ = true;
            RunLoop::main().dispatch([] {});
        });
    }
    ~EventStream() {
        stopping_ = true;
        thread_.join();
    }
    std::vector<nlohmann::json> snapshots() const {
        std::lock_guard lock(mutex_);
        return snapshots_;
    }
    bool ended() const { return ended_; }
    // Runs the main loop until `count` snapshots came (or 10 s of real time).
    std::vector<nlohmann::json> waitFor(std::size_t count) {
        RunLoop::main().runUntilCondition([&] { return snapshots().size() >= count || ended_; },
                                          10.0);
        return snapshots();
    }

  private:
    // `raw`: the answer so far; its head is dropped, then whole chunks.
    void feed(std::string& raw) {
        if (!headDone_) {
            const auto end = raw.find("\r\n\r\n");
            if (end == std::string::npos) {
                return;
            }
            raw.erase(0, end + 4);
            headDone_ = true;
        }
        for (auto sizeEnd = raw.find("\r\n"); sizeEnd != std::string::npos;
             sizeEnd = raw.find("\r\n")) {
            const auto size = std::stoul(raw.substr(0, sizeEnd), nullptr, 16);
            if (raw.size() < sizeEnd + 2 + size + 2) {
                break;
            }
            text_ += raw.substr(sizeEnd + 2, size);
            raw.erase(0, sizeEnd + 2 + size + 2);
        }
        std::lock_guard lock(mutex_);
        for (auto end = text_.find("\n\n"); end != std::string::npos; end = text_.find("\n\n")) {
            const std::string block = text_.substr(0, end);
            text_.erase(0, end + 2);
            const std::string prefix = "event: snapshot\ndata: ";
            if (block.starts_with(prefix)) {
                snapshots_.push_back(nlohmann::json::parse(block.substr(prefix.size())));
            }
        }
        RunLoop::main().dispatch([] {});
    }

    HttpTestClient client_;
    std::thread thread_;
    bool headDone_ = false;  // reader thread only
    std::string text_;       // reader thread only
    mutable std::mutex mutex_;
    std::vector<nlohmann::json> snapshots_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> ended_{false};
};

class WebFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto& root = dir.path();
        for (const char* sub : {"layouts", "web", "images", "help"}) {
            std::filesystem::create_directories(root / sub);
        }
        ResourceLocator::setResourceDirectory(root);
        writeFile("layouts/MainWindow.json", R"({"delegateClass": "WebTestAppDelegate"})");
        writeFile("layouts/WebCounterScreen.json",
                  R"({"view": {"frame": [0, 0, 320, 431], "subviews": [
            {"kind": "label", "outlet": "lblCount", "frame": [10, 10, 300, 30]},
            {"kind": "button", "action": "add", "title": "+", "frame": [10, 50, 60, 44]}]}})");
        writeFile("web/index.html", "<!doctype html><title>page</title>");
        writeFile("web/app.js", "// app");
        writeFile("images/B_play.png", "PNG");
        writeFile("help/help_en.html", "<p>help</p>");
        writeFile("secret.txt", "SECRET");
        std::filesystem::create_symlink(root / "secret.txt", root / "web" / "escape.txt");
        Application::DelegateClasses::registerClass(
            "WebTestAppDelegate", [] { return std::make_unique<WebTestAppDelegate>(); });
        ASSERT_TRUE(Application::sharedApplication().launch());
        RunLoop::main().runPending();
    }
    void TearDown() override {
        web.stop();
        Application::sharedApplication().reset();
        RunLoop::main().runPending();
        ResourceLocator::setResourceDirectory({});
    }
    void writeFile(const std::string& name, const std::string& text) {
        std::ofstream(dir.path() / name) << text;
    }
    void startWeb(WebFrontEnd::Options options = {}) {
        options.listen = ListenAddress("127.0.0.1", 0);
        options.resourceDirectory = dir.path();
        const auto started = web.start(options);
        ASSERT_TRUE(started) << started.error();
    }
    // Runs `work` (a blocking client call) on another thread while the
    // main loop runs, as in the program.
    template <typename Work>
    auto offMain(Work work) -> decltype(work()) {
        std::atomic<bool> finished{false};
        auto future = std::async(std::launch::async, [&] {
            auto result = work();
            finished = true;
            RunLoop::main().dispatch([] {});
            return result;
        });
        RunLoop::main().runUntilCondition([&] { return finished.load(); }, 20.0);
        return future.get();
    }
    // `headers`: whole lines, "Name: value\r\n" each.
    std::optional<HttpAnswer> post(const std::string& path, const std::string& body,
                                   const std::string& headers = "") {
        return offMain([&] {
            return HttpTestClient(web.port())
                .exchange(rawRequest("POST", path, web.port(), headers, body));
        });
    }
    std::optional<HttpAnswer> get(const std::string& path, const std::string& headers = "") {
        return offMain([&] {
            return HttpTestClient(web.port())
                .exchange(rawRequest("GET", path, web.port(), headers));
        });
    }
    // The counter's text in a snapshot.
    static std::string shownCount(const nlohmann::json& snapshot) {
        for (const auto& c : snapshot["app"]["controls"]) {
            if (c.value("outlet", "") == "lblCount") {
                return c["text"];
            }
        }
        return "";
    }
    static std::string labelText() {
        return static_cast<WebTestAppDelegate*>(Application::sharedApplication().delegate())
            ->screen->lblCount->text();
    }

    TemporaryDirectory dir;
    ManualClock clock;
    WebFrontEnd web;
};

}  // namespace kesto::test
