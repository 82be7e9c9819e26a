// The abuse-and-load program for `kesto serve`: starts the given kesto on the
// simulated sensor on a free loopback port, then, all at once,
//   - 200 connections that send their request headers one byte every 2 s
//     (opened again when the server closes them),
//   - 16 event-stream subscribers that never read (a small receive buffer),
//     then 200 that read everything (a refused one asks again after 2 s),
// while a well-behaved client (127.0.0.1) times GET / and one action round
// trip (POST /action, tapTab: every page gets a new snapshot) 50 times
// each, 300 ms apart, and the server's resident size is sampled every 100 ms. The attackers come
// from their own loopback addresses (127.0.1.x, 127.0.2.x, 127.0.3.x), as many clients would. Then
// it lets the attackers go and reads the resident size again, and finally
// sends SIGTERM with a trickling client connected and times the exit.
//
//   kesto_web_load --kesto build/release/bin/kesto [--seconds 20]
//
// Loopback only, bounded in count and time; it stops by itself and reports
// (nothing is asserted).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "LoopbackHttp.h"

namespace {

using Clock = std::chrono::steady_clock;
using bench::LoopbackHttp;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

int freePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t size = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    close(fd);
    return ntohs(address.sin_port);
}

// VmRSS of `pid` in MiB (0 once it is gone).
double residentMiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stod(line.substr(6)) / 1024.0;
        }
    }
    return 0.0;
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

struct Server {
    pid_t pid = -1;
    int port = 0;
};

Server launch(const std::string& kesto, const std::filesystem::path& data) {
    Server server;
    server.port = freePort();
    server.pid = fork();
    if (server.pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        const std::string listen = "127.0.0.1:" + std::to_string(server.port);
        execl(kesto.c_str(), kesto.c_str(), "serve", "--sensor", "sim:rate=0.5,seed=1", "--listen",
              listen.c_str(), "--data-dir", data.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return server;
}

bool answers(int port) {
    LoopbackHttp client(port);
    const auto answer = client.request("GET", "/", "", "", 1000);
    return answer && answer->status == 200;
}

// Holds the attackers on their own threads until `stop`.
class Attack {
  public:
    Attack(int port, std::atomic<bool>& stop) : port_(port), stop_(stop) {}

    void start() {
        threads_.emplace_back([this] { slowHeaders(); });
        threads_.emplace_back([this] { subscribers(); });
    }
    void join() {
        for (auto& t : threads_) {
            t.join();
        }
    }
    std::atomic<int> everStreamed{0};
    std::atomic<int> refusals{0};
    std::atomic<int> streamingNow{0};
    std::atomic<int> slowClosed{0};

  private:
    static std::string from(int block, int i) {
        return "127.0." + std::to_string(block) + "." + std::to_string(i + 1);
    }

    void slowHeaders() {
        std::vector<std::unique_ptr<LoopbackHttp>> clients;
        for (int i = 0; i < 200; ++i) {
            clients.push_back(std::make_unique<LoopbackHttp>(port_, from(1, i)));
            clients.back()->send("GET / HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port_) +
                                 "\r\nX-Slow: ");
        }
        while (!stop_) {
            int closed = 0;
            for (auto& client : clients) {
                // A connection the server closed is opened again: the pressure stays.
                if (!client->send("a")) {
                    ++closed;
                    const auto i = &client - clients.data();
                    client = std::make_unique<LoopbackHttp>(port_, from(1, static_cast<int>(i)));
                    client->send("GET / HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port_) +
                                 "\r\nX-Slow: ");
                }
            }
            slowClosed += closed;
            for (int t = 0; t < 20 && !stop_; ++t) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        }
    }

    // The pages that never read come first and take what places there are;
    // a refused reader asks again every 2 s, as a page's EventSource does.
    void subscribers() {
        std::vector<std::unique_ptr<LoopbackHttp>> idle;
        const std::string request =
            "GET /events HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port_) + "\r\n\r\n";
        for (int i = 0; i < 16; ++i) {
            idle.push_back(std::make_unique<LoopbackHttp>(port_, from(3, i)));
            const int small = 4096;
            setsockopt(idle.back()->fd(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
            idle.back()->send(request);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        struct Reader {
            std::unique_ptr<LoopbackHttp> client;
            int state = 0;  // 0 waiting for the status, 1 streaming, 2 refused
            Clock::time_point refusedAt;
        };
        std::vector<Reader> readers(200);
        const auto open = [&](std::size_t i) {
            readers[i].client = std::make_unique<LoopbackHttp>(port_, from(2, static_cast<int>(i)));
            readers[i].client->send(request);
            readers[i].state = 0;
        };
        for (std::size_t i = 0; i < readers.size(); ++i) {
            open(i);
        }
        while (!stop_) {
            std::vector<pollfd> fds;
            for (auto& r : readers) {
                fds.push_back({r.client->fd(), POLLIN, 0});
            }
            poll(fds.data(), fds.size(), 100);
            int streaming = 0;
            for (std::size_t i = 0; i < fds.size(); ++i) {
                Reader& r = readers[i];
                if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
                    char chunk[65536];
                    const ssize_t n = recv(fds[i].fd, chunk, sizeof chunk, MSG_DONTWAIT);
                    if (r.state == 0 && n > 12) {
                        const bool ok = std::string(chunk, 12).find(" 200") != std::string::npos;
                        r.state = ok ? 1 : 2;
                        (ok ? everStreamed : refusals)++;
                        r.refusedAt = Clock::now();
                    } else if (n <= 0 && r.state != 2) {
                        r.state = 2;  // closed by the server
                        r.refusedAt = Clock::now();
                    }
                }
                if (r.state == 2 && Clock::now() - r.refusedAt > std::chrono::seconds(2)) {
                    open(i);
                }
                streaming += r.state == 1 ? 1 : 0;
            }
            streamingNow = streaming;
        }
    }

    int port_;
    std::atomic<bool>& stop_;
    std::vector<std::thread> threads_;
};

}  // namespace

int main(int argc, char** argv) {
    std::string kesto;
    int seconds = 20;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        if (key == "--kesto") {
            kesto = argv[i + 1];
        } else if (key == "--seconds") {
            seconds = std::clamp(std::atoi(argv[i + 1]), 5, 120);
        }
    }
    if (kesto.empty()) {
        std::fprintf(stderr, "usage: kesto_web_load --kesto PATH [--seconds N]\n");
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);
    const auto data =
        std::filesystem::temp_directory_path() / ("kesto-web-load-" + std::to_string(getpid()));
    std::filesystem::create_directories(data);
    const Server server = launch(kesto, data);
    bool up = false;
    for (int i = 0; i < 100 && !up; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        up = answers(server.port);
    }
    if (!up) {
        std::fprintf(stderr, "kesto serve did not answer on port %d\n", server.port);
        kill(server.pid, SIGKILL);
        waitpid(server.pid, nullptr, 0);
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const double idleBefore = residentMiB(server.pid);

    std::atomic<bool> stop{false};
    std::atomic<double> peak{idleBefore};
    std::thread sampler([&] {
        while (!stop) {
            peak = std::max(peak.load(), residentMiB(server.pid));
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    Attack attack(server.port, stop);
    attack.start();
    std::this_thread::sleep_for(std::chrono::seconds(2));  // the attackers settle in

    // The well-behaved client, on its own address; a refused or timed-out
    // request counts as its 10 s wait.
    std::vector<double> pageMs;
    std::vector<double> actionMs;
    int failures = 0;
    const auto until = Clock::now() + std::chrono::seconds(seconds);
    auto client = std::make_unique<LoopbackHttp>(server.port);
    for (int i = 0; i < 50 && Clock::now() < until; ++i) {
        for (const bool page : {true, false}) {
            const auto start = Clock::now();
            auto answer =
                page ? client->request("GET", "/", "", "", 10000)
                     : client->request(
                           "POST", "/action", "",
                           R"({"action":"tapTab","index":)" + std::to_string(i % 2) + "}", 10000);
            if (!answer) {  // closed meanwhile (keep-alive ended): once more on a new one
                client = std::make_unique<LoopbackHttp>(server.port);
                answer = page ? client->request("GET", "/", "", "", 10000)
                              : client->request(
                                    "POST", "/action", "",
                                    R"({"action":"tapTab","index":)" + std::to_string(i % 2) + "}",
                                    10000);
            }
            const bool good = answer && answer->status == 200;
            failures += good ? 0 : 1;
            (page ? pageMs : actionMs).push_back(good ? msSince(start) : 10000.0);
            if (!good) {
                client = std::make_unique<LoopbackHttp>(server.port);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    stop = true;
    attack.join();
    sampler.join();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const double idleAfter = residentMiB(server.pid);

    // Stopping with a client trickling a request in.
    LoopbackHttp trickling(server.port);
    trickling.send("GET / HTTP/1.1\r\nHo");
    const auto signalled = Clock::now();
    kill(server.pid, SIGTERM);
    int status = 0;
    double exitMs = -1.0;
    for (int i = 0; i < 1000; ++i) {
        if (waitpid(server.pid, &status, WNOHANG) == server.pid) {
            exitMs = msSince(signalled);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (exitMs < 0) {
        kill(server.pid, SIGTERM);  // the second signal
        for (int i = 0; i < 500 && waitpid(server.pid, &status, WNOHANG) != server.pid; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        kill(server.pid, SIGKILL);
        waitpid(server.pid, &status, 0);
    }
    std::filesystem::remove_all(data);

    std::printf(
        "attack: 200 slow-header connections (%d closed by the server and reopened); "
        "16 subscribers that never read, then 200 that read (%d streams taken, %d refusals "
        "answered, %d streaming at the end)\n",
        attack.slowClosed.load(), attack.everStreamed.load(), attack.refusals.load(),
        attack.streamingNow.load());
    std::printf("GET /: %zu requests, median %.1f ms, p99 %.1f ms, max %.1f ms\n", pageMs.size(),
                percentile(pageMs, 0.5), percentile(pageMs, 0.99), percentile(pageMs, 1.0));
    std::printf("POST /action: %zu round trips, median %.1f ms, p99 %.1f ms, max %.1f ms\n",
                actionMs.size(), percentile(actionMs, 0.5), percentile(actionMs, 0.99),
                percentile(actionMs, 1.0));
    std::printf("failed or timed out (10 s): %d\n", failures);
    std::printf("resident: idle %.1f MiB, peak under attack %.1f MiB, idle after %.1f MiB\n",
                idleBefore, peak.load(), idleAfter);
    if (exitMs >= 0) {
        std::printf("SIGTERM with a trickling client: exited after %.0f ms (status %d)\n", exitMs,
                    WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    } else {
        std::printf("SIGTERM with a trickling client: not exited after 10 s (killed)\n");
    }
    return 0;
}
