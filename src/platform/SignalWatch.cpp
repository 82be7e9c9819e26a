#include "platform/SignalWatch.h"

#include <poll.h>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include "platform/RunLoop.h"
#include "platform/UniqueFd.h"

namespace kesto {

SignalWatch::SignalWatch(RunLoop& loop, Handler handler) : loop_(loop) {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    // A closed terminal is as much a request to stop as a service manager's.
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, &previous_);
    UniqueFd fd(signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC));
    if (!fd) {
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
        return;
    }
    watch_ = loop_.watchFileDescriptor(
        std::move(fd), POLLIN, [handler = std::move(handler)](int signalFd, short) {
            signalfd_siginfo info{};
            while (read(signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
                handler(static_cast<int>(info.ssi_signo));
            }
        });
}

SignalWatch::~SignalWatch() {
    if (watch_ != 0) {
        loop_.unwatchFileDescriptor(watch_);  // closes the descriptor
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
}

}  // namespace kesto
