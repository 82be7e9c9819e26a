#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/Result.h"

namespace kesto {

// Runs a station's alarm command (`--alarm-command`) at each change of the
// alarm: `/bin/sh -c COMMAND` in a process of its own, started from a thread
// of its own, so that counting never waits for it. The figures go in its
// environment, besides the process's own. Changes that come while a command
// runs wait their turn, in order. A command still running after kTimeout
// seconds is killed. Every start failure, non-zero exit and kill is one
// console line.
//
// The command starts with the default signal handling and no signal blocked,
// whatever this process does with them (a service manager's SIGTERM reaches
// it).
//
// Threads: run() and waitIdle() from any thread; construction and
// destruction on one thread. The destructor kills a command still running.
class AlarmCommand {
  public:
    using Environment = std::vector<std::pair<std::string, std::string>>;
    static constexpr double kTimeout = 30.0;  // seconds

    explicit AlarmCommand(std::string command);
    ~AlarmCommand();
    AlarmCommand(const AlarmCommand&) = delete;
    AlarmCommand& operator=(const AlarmCommand&) = delete;

    // Queues one run with `environment` added; returns at once.
    void run(Environment environment);
    // Waits (real time) until no command runs or waits; false when some still
    // did after `timeoutSeconds`.
    bool waitIdle(double timeoutSeconds);

  private:
    void work();
    // Runs one command to its end (or its kill) and logs how it ended.
    void execute(const Environment& environment);
    // Starts `sh -c command` with the alarm's environment and the default
    // signal handling this process blocks for itself.
    Result<pid_t> spawn(const Environment& environment) const;
    // Until the command ends, times out or Kesto stops (then it is killed).
    void waitFor(pid_t child);

    const std::string command_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<Environment> queued_;  // guarded by mutex_
    bool busy_ = false;               // guarded by mutex_
    bool stopping_ = false;           // guarded by mutex_
    std::thread worker_;
};

}  // namespace kesto
