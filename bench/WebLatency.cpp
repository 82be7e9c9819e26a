// Time from POST /action to the snapshot event that shows its change, over
// loopback: median and 99th percentile over N taps (200 by default).
//
//   kesto_web_latency                 in process: a small two-tab counter app
//                                     served on a free loopback port
//   kesto_web_latency --port 8080 [--cookie NAME=TOKEN]
//                                     a running `kesto serve` on loopback: alternates
//                                     tapTab 1 / tapTab 0 (nothing may be running)
//
// Also prints what one publish costs on the main thread (state built,
// serialised and compared), in process. Reports only; nothing is asserted.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "LoopbackHttp.h"
#include "platform/ResourceLocator.h"
#include "platform/RunLoop.h"
#include "toolkit/Application.h"
#include "toolkit/Label.h"
#include "toolkit/NavigationController.h"
#include "toolkit/TabBarController.h"
#include "web/SnapshotPublisher.h"
#include "web/WebFrontEnd.h"

namespace {

using namespace kesto;
using Clock = std::chrono::steady_clock;
using nlohmann::json;

class CounterScreen : public ViewController {
  public:
    CounterScreen() : ViewController("BenchCounterScreen") {
        setTabBarItem({"Count", std::nullopt, 1});
    }
    void declareBindings(Bindings& b) override {
        b.outlet("lblCount", lblCount);
        b.action("add", [this] { lblCount->setText(std::to_string(++count)); });
    }
    Label* lblCount = nullptr;
    int count = 0;
};

class BenchDelegate : public ApplicationDelegate {
  public:
    bool didFinishLaunchingWithOptions(Application&) override {
        tabs = std::make_unique<TabBarController>();
        std::vector<std::unique_ptr<ViewController>> navs;
        for (int i = 0; i < 2; ++i) {
            navs.push_back(
                std::make_unique<NavigationController>(std::make_unique<CounterScreen>()));
        }
        tabs->setViewControllers(std::move(navs));
        window()->setRootViewController(tabs.get());
        window()->makeKeyAndVisible();
        return true;
    }
    std::unique_ptr<TabBarController> tabs;
};

// The newest snapshot version seen on the stream.
class VersionWatch {
  public:
    void seen(long long version) {
        {
            std::lock_guard lock(mutex_);
            version_ = std::max(version_, version);
        }
        changed_.notify_all();
    }
    long long current() {
        std::lock_guard lock(mutex_);
        return version_;
    }
    bool waitAbove(long long version, std::chrono::seconds timeout) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return version_ > version; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    long long version_ = -1;
};

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

// Runs the taps against 127.0.0.1:port; the stream is read on its own thread.
int measure(int port, const std::string& headers, int taps, bool tabs) {
    VersionWatch watch;
    bench::LoopbackHttp stream(port);
    std::atomic<bool> done{false};
    if (stream.openStream("/events", headers) != 200) {
        std::fprintf(stderr, "no event stream from port %d\n", port);
        return 1;
    }
    std::thread reader([&] {
        while (!done) {
            if (const auto data = stream.nextEvent(100)) {
                watch.seen(json::parse(*data)["version"].get<long long>());
            }
        }
    });
    std::vector<double> ms;
    if (watch.waitAbove(-1, std::chrono::seconds(10))) {
        bench::LoopbackHttp client(port);
        for (int i = 0; i < taps; ++i) {
            const auto before = watch.current();
            const std::string body = tabs
                                         ? json{{"action", "tapTab"}, {"index", (i + 1) % 2}}.dump()
                                         : R"({"action": "tap", "name": "add"})";
            const auto start = Clock::now();
            const auto r = client.request("POST", "/action", headers, body);
            if (!r || r->status != 200 || !watch.waitAbove(before, std::chrono::seconds(5))) {
                std::fprintf(stderr, "tap %d: no answer or no snapshot\n", i);
                break;
            }
            ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
    }
    done = true;
    reader.join();
    if (ms.empty()) {
        return 1;
    }
    std::printf(
        "POST /action → snapshot event, %zu taps: median %.2f ms, p99 %.2f ms, max %.2f ms\n",
        ms.size(), percentile(ms, 0.5), percentile(ms, 0.99), percentile(ms, 1.0));
    return 0;
}

int inProcess(int taps) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("kesto-web-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir / "layouts");
    std::ofstream(dir / "layouts" / "MainWindow.json") << R"({"delegateClass": "BenchDelegate"})";
    std::ofstream(dir / "layouts" / "BenchCounterScreen.json")
        << R"({"view": {"frame": [0, 0, 320, 431], "subviews": [
            {"kind": "label", "outlet": "lblCount", "frame": [10, 10, 300, 30]},
            {"kind": "button", "action": "add", "title": "+", "frame": [10, 50, 60, 44]}]}})";
    ResourceLocator::setResourceDirectory(dir);
    Application::DelegateClasses::registerClass("BenchDelegate",
                                                [] { return std::make_unique<BenchDelegate>(); });
    if (!Application::sharedApplication().launch()) {
        return 1;
    }
    WebFrontEnd web;
    WebFrontEnd::Options options;
    options.listen = ListenAddress("127.0.0.1", 0);
    options.resourceDirectory = dir;
    if (auto started = web.start(options); !started) {
        std::fprintf(stderr, "%s\n", started.error().c_str());
        return 1;
    }
    // One publish when something changed: the main thread's cost per busy pass.
    std::vector<double> publishUs;
    for (int i = 0; i < 200; ++i) {
        RunLoop::main().dispatch([] {});
        const auto start = Clock::now();
        RunLoop::main().runPending();
        publishUs.push_back(
            std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::printf(
        "main-thread pass with an unchanged state (built, serialised, compared): median %.1f µs\n",
        percentile(publishUs, 0.5));

    int status = 1;
    std::thread driver([&] {
        status = measure(web.port(), "", taps, false);
        RunLoop::main().stop();
    });
    RunLoop::main().run();
    driver.join();
    web.stop();
    Application::sharedApplication().reset();
    std::filesystem::remove_all(dir);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    int port = 0;
    std::string headers;
    int taps = 200;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        if (key == "--port") {
            port = std::atoi(argv[i + 1]);
        } else if (key == "--cookie") {
            headers += "Cookie: " + std::string(argv[i + 1]) + "\r\n";
        } else if (key == "--taps") {
            taps = std::max(1, std::atoi(argv[i + 1]));
        }
    }
    return port == 0 ? inProcess(taps) : measure(port, headers, taps, true);
}
