#include "station/AlarmCommand.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <map>

#include "platform/Console.h"
#include "platform/ScopeGuard.h"

extern char** environ;

namespace kesto {
namespace {

// The process's environment with `added` put in (replacing the same names).
std::vector<std::string> environmentWith(const AlarmCommand::Environment& added) {
    std::map<std::string, std::string> names;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const auto equals = text.find('=');
        if (equals != std::string::npos) {
            names[text.substr(0, equals)] = text.substr(equals + 1);
        }
    }
    for (const auto& [name, value] : added) {
        names[name] = value;
    }
    std::vector<std::string> out;
    for (const auto& [name, value] : names) {
        out.push_back(name + "=" + value);
    }
    return out;
}

}  // namespace

AlarmCommand::AlarmCommand(std::string command)
    : command_(std::move(command)), worker_([this] { work(); }) {}

AlarmCommand::~AlarmCommand() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        queued_.clear();
    }
    wake_.notify_all();
    worker_.join();
}

void AlarmCommand::run(Environment environment) {
    {
        std::lock_guard lock(mutex_);
        queued_.push_back(std::move(environment));
    }
    wake_.notify_all();
}

bool AlarmCommand::waitIdle(double timeoutSeconds) {
    std::unique_lock lock(mutex_);
    return idle_.wait_for(lock, std::chrono::duration<double>(timeoutSeconds),
                          [this] { return !busy_ && queued_.empty(); });
}

void AlarmCommand::work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queued_.empty(); });
        if (stopping_) {
            break;
        }
        Environment next = std::move(queued_.front());
        queued_.pop_front();
        busy_ = true;
        lock.unlock();
        execute(next);
        lock.lock();
        busy_ = false;
        idle_.notify_all();
    }
    busy_ = false;
    idle_.notify_all();
}

void AlarmCommand::execute(const Environment& environment) {
    const Result<pid_t> child = spawn(environment);
    if (!child) {
        Console::logf("Alarm command could not start: %s", child.error().c_str());
        return;
    }
    waitFor(*child);
}

Result<pid_t> AlarmCommand::spawn(const Environment& environment) const {
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    const ScopeGuard destroy([&] { posix_spawnattr_destroy(&attributes); });
    // This process blocks SIGINT and SIGTERM (it reads them from a signalfd):
    // the command must not inherit that.
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int signal : {SIGINT, SIGTERM, SIGPIPE, SIGHUP}) {
        sigaddset(&defaults, signal);
    }
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<std::string> texts = environmentWith(environment);
    std::vector<char*> envp;
    for (std::string& text : texts) {
        envp.push_back(text.data());
    }
    envp.push_back(nullptr);
    std::string shell = "/bin/sh";
    std::string flag = "-c";
    std::string command = command_;
    char* argv[] = {shell.data(), flag.data(), command.data(), nullptr};
    pid_t child = 0;
    if (const int error =
            posix_spawn(&child, shell.c_str(), nullptr, &attributes, argv, envp.data());
        error != 0) {
        return fail(std::strerror(error));
    }
    return child;
}

void AlarmCommand::waitFor(pid_t child) {
    using Steady = std::chrono::steady_clock;
    const auto deadline = Steady::now() + std::chrono::duration_cast<Steady::duration>(
                                              std::chrono::duration<double>(kTimeout));
    int status = 0;
    for (;;) {
        const pid_t ended = waitpid(child, &status, WNOHANG);
        if (ended == child || (ended < 0 && errno != EINTR)) {
            break;
        }
        std::unique_lock lock(mutex_);
        const bool stopping = wake_.wait_until(
            lock, std::min(deadline, Steady::now() + std::chrono::milliseconds(20)),
            [this] { return stopping_; });
        if (stopping || Steady::now() >= deadline) {
            lock.unlock();
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            if (stopping) {
                Console::log("Alarm command killed: Kesto is stopping");
            } else {
                Console::logf("Alarm command killed after %.0f s", kTimeout);
            }
            return;
        }
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
        Console::logf("Alarm command exited with status %d", WEXITSTATUS(status));
    } else if (WIFSIGNALED(status)) {
        Console::logf("Alarm command ended by signal %d", WTERMSIG(status));
    }
}

}  // namespace kesto
