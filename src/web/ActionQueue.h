#pragma once

#include <atomic>
#include <functional>

#include <nlohmann/json.hpp>

#include "platform/HopTarget.h"
#include "platform/RunLoop.h"

namespace kesto {

// Hands a person's actions, arriving on the server's thread, to the main
// run loop, one at a time in arrival order (the loop's queue is FIFO), and
// hands each answer back without anyone waiting for it.
//
// An action whose requester gave up before it started is never applied: the
// browser was told it failed, so it must not happen later behind its back.
//
// Threads: construction, close() and destruction on the loop's thread;
// submit() from any thread; `start`, the performer and `done` run on the
// loop's thread.
class ActionQueue {
  public:
    // Applies one action on the loop's thread and answers it.
    using Performer = std::function<nlohmann::json(const nlohmann::json&)>;
    // Asked just before the action is applied: false when its requester gave up.
    using Start = std::function<bool()>;
    using Done = std::function<void(nlohmann::json answer)>;

    explicit ActionQueue(Performer performer, RunLoop& loop = RunLoop::main());
    ActionQueue(const ActionQueue&) = delete;
    ActionQueue& operator=(const ActionQueue&) = delete;

    // False when the queue is closed (nothing will happen).
    bool submit(nlohmann::json action, Start start, Done done);
    // Refuses new actions; queued ones still ask `start`.
    void close();

  private:
    Performer performer_;
    std::atomic<bool> closed_{false};
    HopTarget hops_;  // last: revoked first when this goes
};

}  // namespace kesto
