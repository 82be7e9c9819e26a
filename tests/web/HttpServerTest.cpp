#include <atomic>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "web/HttpServer.h"
#include "web/HttpTestClient.h"

namespace kesto {
namespace {

using test::HttpTestClient;
using test::rawRequest;
using Response = HttpServer::Response;

// Says what it is asked again and again, once woken; nothing otherwise.
class Ticker : public HttpServer::StreamSource {
  public:
    Pull pull(std::string& out, bool heartbeat) override {
        std::lock_guard lock(mutex);
        if (failed && pending.empty()) {
            return Pull::Fail;
        }
        if (heartbeat) {
            out += ": beat\n";
        }
        out += pending;
        pending.clear();
        if (firehose) {
            out += std::string(64 * 1024, 'z');
        }
        return ended ? Pull::End : out.empty() ? Pull::Wait : Pull::Sent;
    }
    void say(const std::string& text) {
        std::lock_guard lock(mutex);
        pending += text;
    }
    std::mutex mutex;
    std::string pending;
    bool ended = false;
    bool failed = false;    // cannot go on, once what is pending is sent
    bool firehose = false;  // always more to send
};

class HttpServerTest : public ::testing::Test {
  protected:
    void start(HttpServer::Limits limits = smallLimits()) {
        server = std::make_unique<HttpServer>(limits);
        server->setCommonHeaders({{"X-Content-Type-Options", "nosniff"}});
        server->route("GET", "/hello",
                      [](const HttpServer::Request& request, HttpServer::Reply& reply) {
                          reply.send(Response::text(200, "hello " + request.peer));
                      });
        server->route("POST", "/echo",
                      [](const HttpServer::Request& request, HttpServer::Reply& reply) {
                          reply.send(Response::text(200, request.body));
                      });
        server->route("POST", "/later",
                      [this](const HttpServer::Request&, HttpServer::Reply& reply) {
                          std::lock_guard lock(mutex);
                          deferred.push_back(reply);
                      });
        server->route(
            "GET", "/ticks", [this](const HttpServer::Request&, HttpServer::Reply& reply) {
                std::lock_guard lock(mutex);
                tickers.push_back(std::make_shared<Ticker>());
                wakers.push_back(
                    reply.stream(Response::text(200, "", "text/event-stream"), tickers.back()));
            });
        auto bound = server->start(ListenAddress("127.0.0.1", 0));
        ASSERT_TRUE(bound) << bound.error();
        port = *bound;
    }
    static HttpServer::Limits smallLimits() {
        HttpServer::Limits limits;
        limits.maxConnections = 8;
        limits.maxConnectionsPerAddress = 3;
        limits.maxHeaderBytes = 4096;
        limits.maxHeaderCount = 16;
        limits.maxBodyBytes = 1024;
        return limits;
    }
    std::optional<test::HttpAnswer> ask(const std::string& raw, const char* from = nullptr) {
        return HttpTestClient(port, from).exchange(raw);
    }
    // Waits (in real time, bounded) until `done` holds.
    template <typename Done>
    static bool eventually(Done done) {
        for (int i = 0; i < 1000 && !done(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return done();
    }
    std::size_t deferredCount() {
        std::lock_guard lock(mutex);
        return deferred.size();
    }

    test::ManualClock clock;
    std::unique_ptr<HttpServer> server;
    int port = 0;
    std::mutex mutex;
    std::vector<HttpServer::Reply> deferred;
    std::vector<HttpServer::StreamWaker> wakers;
    std::vector<std::shared_ptr<Ticker>> tickers;
};

TEST_F(HttpServerTest, RoutesAnswerAndRefusalsAreJson) {
    start();
    const auto hello = ask(rawRequest("GET", "/hello", port));
    ASSERT_TRUE(hello);
    EXPECT_EQ(hello->status, 200);
    EXPECT_EQ(hello->body, "hello 127.0.0.1");
    EXPECT_EQ(hello->header("x-content-type-options"), "nosniff");
    const auto missing = ask(rawRequest("GET", "/nothing", port));
    EXPECT_EQ(missing->status, 404);
    EXPECT_EQ(missing->body, R"({"error":"nothing here","ok":false})");
    EXPECT_EQ(ask(rawRequest("GET", "/echo", port))->status, 405);
}

// What a client sends is bounded before any route sees it.
TEST_F(HttpServerTest, HeadersAndBodiesOverTheirBoundsAreRefused) {
    start();
    const std::string bigHeader = "X-Filler: " + std::string(5000, 'a') + "\r\n";
    std::string manyHeaders;
    for (int i = 0; i < 17; ++i) {
        manyHeaders += "X-H" + std::to_string(i) + ": 1\r\n";
    }
    const std::string over(1025, 'x');
    struct Row {
        const char* what;
        std::string raw;
        int status;
    };
    const std::vector<Row> rows = {
        {"header bytes", rawRequest("GET", "/hello", port, bigHeader), 431},
        {"header count", rawRequest("GET", "/hello", port, manyHeaders), 431},
        {"declared body", rawRequest("POST", "/echo", port, "", over), 413},
        {"chunked body",
         "POST /echo HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
         "401\r\n" +
             over + "\r\n0\r\n\r\n",
         413},
        {"compressed body", rawRequest("POST", "/echo", port, "Content-Encoding: gzip\r\n", "x"),
         415},
        {"body at the bound", rawRequest("POST", "/echo", port, "", std::string(1024, 'y')), 200},
    };
    for (const auto& row : rows) {
        const auto answer = ask(row.raw);
        ASSERT_TRUE(answer) << row.what;
        EXPECT_EQ(answer->status, row.status) << row.what;
        if (row.status != 200 && row.status != 431) {
            EXPECT_EQ(answer->header("content-type"), "application/json") << row.what;
        }
    }
    // A multi-range request gets the whole answer, once.
    const auto ranged = ask(rawRequest("GET", "/hello", port, "Range: bytes=0-1,0-1,0-1\r\n"));
    EXPECT_EQ(ranged->status, 200);
    EXPECT_EQ(ranged->body, "hello 127.0.0.1");
}

// One address past its share is closed at once; past the bound in all, a
// connection waits in the kernel's queue until a place is free.
TEST_F(HttpServerTest, ConnectionsAreBoundedInAllAndPerAddress) {
    start();
    std::vector<std::unique_ptr<HttpTestClient>> held;
    for (int i = 0; i < 3; ++i) {
        held.push_back(std::make_unique<HttpTestClient>(port, "127.0.0.7"));
        ASSERT_TRUE(held.back()->send("GET /hel"));
    }
    HttpTestClient fourth(port, "127.0.0.7");
    EXPECT_TRUE(fourth.closedByServer());
    EXPECT_EQ(ask(rawRequest("GET", "/hello", port), "127.0.0.8")->status, 200);
    for (int i = 0; i < 5; ++i) {
        const std::string from = "127.0.1." + std::to_string(i + 1);
        held.push_back(std::make_unique<HttpTestClient>(port, from.c_str()));
        ASSERT_TRUE(held.back()->send("GET /hel"));
    }
    HttpTestClient ninth(port, "127.0.0.9");
    ASSERT_TRUE(ninth.send(rawRequest("GET", "/hello", port)));
    EXPECT_EQ(ninth.receiveSome(300), "");
    held.clear();
    const auto answer = HttpTestClient::parse(ninth.receiveUntilClosed().value_or(""));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 200);
}

// A client that trickles its request in is closed at the deadline, and
// one that comes later is served.
TEST_F(HttpServerTest, ARequestNotWholeByItsDeadlineIsClosed) {
    start();
    HttpTestClient slow(port);
    ASSERT_TRUE(slow.send("GET /hello HTTP/1.1\r\nHost: h\r\nX-Slow: 1"));
    ASSERT_TRUE(eventually([&] { return slow.receiveSome(50).empty(); }));
    clock.advance(9.0);
    ASSERT_TRUE(slow.send("2"));  // activity does not move the deadline
    clock.advance(2.0);
    EXPECT_TRUE(slow.closedByServer());
    EXPECT_EQ(ask(rawRequest("GET", "/hello", port))->status, 200);
}

TEST_F(HttpServerTest, ADeferredReplyComesFromAnyThreadOrIs503AtItsDeadline) {
    start();
    HttpTestClient first(port);
    ASSERT_TRUE(first.send(rawRequest("POST", "/later", port, "", "{}")));
    ASSERT_TRUE(eventually([&] { return deferredCount() == 1; }));
    std::thread([reply = deferred[0]]() mutable {
        ASSERT_TRUE(reply.begin());
        reply.send(Response::text(200, "done"));
    }).join();
    const auto answer = HttpTestClient::parse(first.receiveUntilClosed().value_or(""));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->body, "done");

    HttpTestClient second(port);
    ASSERT_TRUE(second.send(rawRequest("POST", "/later", port, "", "{}")));
    ASSERT_TRUE(eventually([&] { return deferredCount() == 2; }));
    clock.advance(6.0);
    const auto late = HttpTestClient::parse(second.receiveUntilClosed().value_or(""));
    ASSERT_TRUE(late);
    EXPECT_EQ(late->status, 503);
    EXPECT_FALSE(deferred[1].begin());  // its work must not happen now
}

// A stream sends what its source has when woken, a heartbeat when idle,
// and is closed when its client stops taking it.
TEST_F(HttpServerTest, StreamsFollowTheirSourceAndDropAClientThatStopsReading) {
    start();
    HttpTestClient reader(port);
    ASSERT_TRUE(reader.send("GET /ticks HTTP/1.1\r\nHost: h\r\n\r\n"));
    ASSERT_TRUE(eventually([&] {
        std::lock_guard lock(mutex);
        return wakers.size() == 1;
    }));
    tickers[0]->say("one\n");
    wakers[0].wake();
    std::string got;
    ASSERT_TRUE(eventually(
        [&] { return (got += reader.receiveSome(50)).find("one") != std::string::npos; }));
    clock.advance(16.0);
    ASSERT_TRUE(eventually(
        [&] { return (got += reader.receiveSome(50)).find(": beat") != std::string::npos; }));

    // A client that never reads, of a source that always has more.
    HttpTestClient idle(port);
    ASSERT_TRUE(idle.send("GET /ticks HTTP/1.1\r\nHost: h\r\n\r\n"));
    std::weak_ptr<Ticker> hose;
    ASSERT_TRUE(eventually([&] {
        std::lock_guard lock(mutex);
        if (tickers.size() == 2 && tickers[1]) {
            std::lock_guard tickerLock(tickers[1]->mutex);
            tickers[1]->firehose = true;
            hose = tickers[1];
            tickers[1].reset();
        }
        return !hose.expired();
    }));
    // Once its socket is full the stream is no longer taken; 5 s later it goes.
    for (int i = 0; i < 3000 && !hose.expired(); ++i) {
        wakers[1].wake();
        clock.advance(0.5);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(hose.expired());
    EXPECT_TRUE(idle.closedByServer());

    // A page closed while its stream waits gives its place back at once.
    std::weak_ptr<Ticker> closed;
    {
        HttpTestClient gone(port);
        ASSERT_TRUE(gone.send("GET /ticks HTTP/1.1\r\nHost: h\r\n\r\n"));
        ASSERT_TRUE(eventually([&] {
            std::lock_guard lock(mutex);
            return tickers.size() == 3;
        }));
        std::lock_guard lock(mutex);
        closed = tickers[2];
        tickers[2].reset();
    }
    EXPECT_TRUE(eventually([&] { return closed.expired(); }));
}

// A source that cannot go on cuts the transfer: no closing chunk, so no
// client takes a part (an export the database broke off) for the whole.
TEST_F(HttpServerTest, AFailedStreamEndsCutNotComplete) {
    start();
    HttpTestClient reader(port);
    ASSERT_TRUE(reader.send("GET /ticks HTTP/1.1\r\nHost: h\r\n\r\n"));
    ASSERT_TRUE(eventually([&] {
        std::lock_guard lock(mutex);
        return wakers.size() == 1;
    }));
    {
        std::lock_guard lock(tickers[0]->mutex);
        tickers[0]->pending = "part\n";
        tickers[0]->failed = true;
    }
    wakers[0].wake();
    const auto got = reader.receiveUntilClosed();
    ASSERT_TRUE(got.has_value());
    EXPECT_NE(got->find("part"), std::string::npos);
    EXPECT_EQ(got->find("\r\n0\r\n\r\n"), std::string::npos) << *got;
}

// Stopping closes everything at once: a trickling client, a deferred reply
// and a stream.
TEST_F(HttpServerTest, StopClosesEveryConnectionWhateverItIsDoing) {
    start();
    HttpTestClient trickling(port);
    ASSERT_TRUE(trickling.send("GET /hello HTTP/1.1\r\nHo"));
    HttpTestClient waiting(port);
    ASSERT_TRUE(waiting.send(rawRequest("POST", "/later", port, "", "{}")));
    HttpTestClient streaming(port, "127.0.0.2");
    ASSERT_TRUE(streaming.send("GET /ticks HTTP/1.1\r\nHost: h\r\n\r\n"));
    ASSERT_TRUE(eventually([&] {
        std::lock_guard lock(mutex);
        return wakers.size() == 1 && deferred.size() == 1;
    }));
    server->stop();
    EXPECT_TRUE(trickling.closedByServer());
    EXPECT_TRUE(waiting.closedByServer());
    EXPECT_TRUE(streaming.closedByServer());
    deferred[0].send(Response::text(200, "too late"));  // nothing left to answer: no effect
    wakers[0].wake();
}

}  // namespace
}  // namespace kesto
