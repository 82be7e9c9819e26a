#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include <nlohmann/json.hpp>

#include "platform/HopTarget.h"
#include "platform/RunLoop.h"

namespace kesto {

// Hands a person's actions, arriving on the server's threads, to the main
// run loop, one at a time in arrival order (the loop's queue is FIFO), and
// brings each answer back to the thread that waits for it.
//
// An action not started when its waiter gives up is never applied: the
// browser was told it failed, so it must not happen later behind its back.
// One already started is waited for (the driver's actions are short).
//
// Threads: construction, close() and destruction on the loop's thread;
// perform() from any other thread (never the loop's own: it would wait for
// itself).
class ActionQueue {
  public:
    // Applies one action on the loop's thread and answers it.
    using Performer = std::function<nlohmann::json(const nlohmann::json&)>;

    explicit ActionQueue(Performer performer, RunLoop& loop = RunLoop::main());
    ~ActionQueue();
    ActionQueue(const ActionQueue&) = delete;
    ActionQueue& operator=(const ActionQueue&) = delete;

    // The answer, or nothing when the loop did not start the action within
    // `timeout` or the queue closed first.
    std::optional<nlohmann::json> perform(nlohmann::json action, std::chrono::milliseconds timeout);
    // Answers every waiter with nothing and refuses new actions.
    void close();

  private:
    enum class State { Queued, Running, Done, Abandoned };
    struct Pending {
        State state = State::Queued;
        nlohmann::json answer;
    };
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        bool closed = false;
    };

    void apply(const std::shared_ptr<Pending>& pending, const nlohmann::json& action);

    Performer performer_;
    const std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
    HopTarget hops_;  // last: revoked first when this goes
};

}  // namespace kesto
