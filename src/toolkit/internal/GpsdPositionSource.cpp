#include "toolkit/internal/GpsdPositionSource.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>

#include <gps.h>

#include "platform/Clock.h"
#include "platform/ScopeGuard.h"
#include "platform/UniqueHandle.h"

namespace kesto {
namespace {

std::string displayAddress(const std::string& host, std::uint16_t port) {
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

// What the reader thread needs, held by value so that nothing it touches
// belongs to the source object.
struct Reader {
    std::string host;
    std::uint16_t port;
    double connectTimeout;
    int wakeFd;  // owned by the source, which joins this thread before closing it
    PositionSink sink;

    std::string where() const { return "gpsd at " + displayAddress(host, port); }
    void failure(const std::string& what) const { sink.failure(where() + what); }

    // Waits for `fd` to report `events` or for the wake-up; false on the
    // wake-up or at the deadline (timedOut tells which).
    bool waitFor(int fd, short events, int timeoutMs, bool& timedOut) const {
        pollfd fds[2] = {{fd, events, 0}, {wakeFd, POLLIN, 0}};
        for (;;) {
            const int ready = ::poll(fds, 2, timeoutMs);
            if (ready < 0 && errno == EINTR) {
                continue;
            }
            timedOut = ready == 0;
            return ready > 0 && fds[1].revents == 0;
        }
    }

    // libgps connects with a blocking connect(), which an unanswering host
    // can hold for minutes; a bounded attempt first makes sure it will not.
    // Returns false (failure already reported, or stop asked for) when gpsd
    // cannot be reached.
    bool probe() const {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        const std::string service = std::to_string(port);
        if (const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found); rc != 0) {
            failure(std::string(": ") + ::gai_strerror(rc));
            return false;
        }
        const UniqueHandle<addrinfo, ::freeaddrinfo> addresses(found);
        const auto deadline = std::chrono::steady_clock::now() +
                              std::chrono::milliseconds(static_cast<long>(connectTimeout * 1000));
        int lastError = ECONNREFUSED;
        bool timedOut = false;
        for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
            UniqueFd socket(
                ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
            if (!socket) {
                lastError = errno;
                continue;
            }
            if (::connect(socket.get(), a->ai_addr, a->ai_addrlen) == 0) {
                return true;
            }
            if (errno != EINPROGRESS) {
                lastError = errno;
                continue;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (!waitFor(socket.get(), POLLOUT, static_cast<int>(std::max<long>(0, left.count())),
                         timedOut)) {
                if (timedOut) {
                    break;
                }
                return false;  // stop asked for
            }
            int error = 0;
            socklen_t length = sizeof error;
            ::getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, &error, &length);
            if (error == 0) {
                return true;
            }
            lastError = error;
        }
        if (timedOut) {
            failure(": no answer within " + std::to_string(static_cast<int>(connectTimeout)) +
                    " s");
        } else {
            failure(std::string(": ") + std::strerror(lastError));
        }
        return false;
    }

    void deliverIfFix(const gps_data_t& data, const char* message) const {
        if (std::strstr(message, "\"class\":\"TPV\"") == nullptr || data.fix.mode < MODE_2D ||
            !std::isfinite(data.fix.latitude) || !std::isfinite(data.fix.longitude)) {
            return;
        }
        // A receiver that sends only RMC sentences gives no error estimate:
        // its fix is still a fix, of unknown accuracy.
        std::optional<double> accuracy;
        if (std::isfinite(data.fix.eph) && data.fix.eph >= 0.0) {
            accuracy = data.fix.eph;
        } else if (std::isfinite(data.fix.epx) && std::isfinite(data.fix.epy)) {
            accuracy = std::hypot(data.fix.epx, data.fix.epy);
        }
        const Date taken =
            data.fix.time.tv_sec != 0
                ? Date::fromUnixSeconds(static_cast<double>(data.fix.time.tv_sec) +
                                        static_cast<double>(data.fix.time.tv_nsec) * 1e-9)
                : Clock::now();
        sink.fix(Location(data.fix.latitude, data.fix.longitude, accuracy, taken));
    }

    void run() const {
        if (!probe()) {
            return;
        }
        auto data = std::make_unique<gps_data_t>();
        const std::string service = std::to_string(port);
        if (::gps_open(host.c_str(), service.c_str(), data.get()) != 0) {
            failure(std::string(": ") + ::gps_errstr(errno));
            return;
        }
        const ScopeGuard close{[&data] { ::gps_close(data.get()); }};
        if (::gps_stream(data.get(), WATCH_ENABLE | WATCH_JSON, nullptr) != 0) {
            failure(": the watch request could not be sent");
            return;
        }
        // Non-blocking, so that a read of a half-received line waits in the
        // poll below (where stop() can wake it), not inside libgps.
        const int fd = data->gps_fd;
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        char message[10240];  // gpsd's longest report is well under this
        for (;;) {
            bool timedOut = false;
            if (!waitFor(fd, POLLIN, -1, timedOut)) {
                return;
            }
            // One receive may bring several reports; read them all.
            for (;;) {
                message[0] = '\0';
                errno = 0;
                const int read = ::gps_read(data.get(), message, sizeof message);
                if (read > 0) {
                    deliverIfFix(*data, message);
                    continue;
                }
                // Non-blocking: -1 with EAGAIN means "nothing more for now";
                // -1 otherwise is the end of the stream (even mid-report).
                const bool ended =
                    read < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR;
                if (ended) {
                    failure(" closed the connection");
                    return;
                }
                break;
            }
        }
    }
};

}  // namespace

GpsdPositionSource::GpsdPositionSource(std::string host, std::uint16_t port, double connectTimeout)
    : host_(std::move(host)), port_(port), connectTimeout_(connectTimeout) {}

GpsdPositionSource::~GpsdPositionSource() {
    stop();
}

void GpsdPositionSource::start(PositionSink sink) {
    stop();
    wake_.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wake_) {
        // Without a way to wake the reader, stop() could not end it: no reader.
        sink.failure("gpsd at " + displayAddress(host_, port_) +
                     ": cannot start a reader (eventfd: " + std::strerror(errno) + ")");
        return;
    }
    reader_ = std::thread([reader = Reader{host_, port_, connectTimeout_, wake_.get(),
                                           std::move(sink)}] { reader.run(); });
}

void GpsdPositionSource::stop() {
    if (reader_.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(wake_.get(), &one, sizeof one);
        reader_.join();
    }
    wake_.reset();
}

}  // namespace kesto
