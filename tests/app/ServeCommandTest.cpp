#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "web/HttpTestClient.h"

namespace kesto {
namespace {

// The port in "Open http://127.0.0.1:PORT/", or empty while not yet printed.
std::string printedPort(const std::string& printed) {
    const std::string prefix = "Open http://127.0.0.1:";
    const std::size_t at = printed.find(prefix);
    if (at == std::string::npos) {
        return {};
    }
    const std::size_t digits = at + prefix.size();
    const std::size_t end = printed.find_first_not_of("0123456789", digits);
    if (end == std::string::npos || end == digits || printed[end] != '/') {
        return {};
    }
    return printed.substr(digits, end - digits);
}

// `kesto serve` as a process, as systemd runs it: SIGTERM ends it cleanly
// although a client is trickling a request in and a page is following the
// event stream (the old server waited for such a client forever).
TEST(ServeCommandTest, SigtermStopsTheServerWhateverItsClientsAreDoing) {
    test::TemporaryDirectory data;
    int output[2];
    ASSERT_EQ(pipe(output), 0);
    const pid_t server = fork();
    ASSERT_GE(server, 0);
    if (server == 0) {
        dup2(output[1], STDOUT_FILENO);
        close(output[0]);
        execl(KESTO_BINARY, "kesto", "serve", "--sensor", "sim:rate=0,seed=1,size=64x48",
              "--listen", "127.0.0.1:0", "--data-dir", data.path().c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(output[1]);
    // The address it prints tells the port.
    std::string printed;
    for (int i = 0; i < 200 && printedPort(printed).empty(); ++i) {
        pollfd p{output[0], POLLIN, 0};
        char chunk[4096];
        if (poll(&p, 1, 100) > 0) {
            const ssize_t n = read(output[0], chunk, sizeof chunk);
            printed.append(chunk, n > 0 ? static_cast<std::size_t>(n) : 0);
        }
    }
    const std::string port = printedPort(printed);
    ASSERT_FALSE(port.empty()) << printed;
    const int portNumber = std::stoi(port);

    test::HttpTestClient trickling(portNumber);
    ASSERT_TRUE(trickling.send("GET / HTTP/1.1\r\nHo"));
    test::HttpTestClient page(portNumber);
    ASSERT_TRUE(page.send("GET /events HTTP/1.1\r\nHost: 127.0.0.1:" + port + "\r\n\r\n"));
    ASSERT_NE(page.receiveSome().find("200 OK"), std::string::npos);

    ASSERT_EQ(kill(server, SIGTERM), 0);
    int status = 0;
    pid_t ended = 0;
    for (int i = 0; i < 2000 && ended == 0; ++i) {  // at most 20 s
        ended = waitpid(server, &status, WNOHANG);
        if (ended == 0) {
            poll(nullptr, 0, 10);
        }
    }
    if (ended == 0) {
        kill(server, SIGKILL);
        waitpid(server, &status, 0);
    }
    ASSERT_EQ(ended, server) << "still running with a trickling client";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(trickling.closedByServer());
    EXPECT_TRUE(page.closedByServer());
    close(output[0]);
}

}  // namespace
}  // namespace kesto
