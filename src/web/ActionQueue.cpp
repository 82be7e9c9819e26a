#include "web/ActionQueue.h"

namespace kesto {

ActionQueue::ActionQueue(Performer performer, RunLoop& loop)
    : performer_(std::move(performer)), hops_(loop) {}

ActionQueue::~ActionQueue() {
    close();
}

std::optional<nlohmann::json> ActionQueue::perform(nlohmann::json action,
                                                   std::chrono::milliseconds timeout) {
    auto pending = std::make_shared<Pending>();
    {
        std::lock_guard lock(shared_->mutex);
        if (shared_->closed) {
            return std::nullopt;
        }
        // Queued under the lock: close() cannot slip between the check and the hop.
        hops_.hop([this, pending, action = std::move(action)] { apply(pending, action); });
    }
    std::unique_lock lock(shared_->mutex);
    shared_->changed.wait_for(lock, timeout, [&] {
        return shared_->closed || pending->state == State::Done || pending->state == State::Running;
    });
    if (pending->state == State::Queued) {
        pending->state = State::Abandoned;
        return std::nullopt;
    }
    shared_->changed.wait(lock, [&] { return pending->state == State::Done; });
    return std::move(pending->answer);
}

void ActionQueue::apply(const std::shared_ptr<Pending>& pending, const nlohmann::json& action) {
    {
        std::lock_guard lock(shared_->mutex);
        if (pending->state != State::Queued) {
            return;
        }
        pending->state = State::Running;
    }
    shared_->changed.notify_all();
    nlohmann::json answer;
    try {
        answer = performer_(action);
    } catch (const std::exception& e) {
        answer = {{"ok", false}, {"error", e.what()}};
    }
    {
        std::lock_guard lock(shared_->mutex);
        pending->answer = std::move(answer);
        pending->state = State::Done;
    }
    shared_->changed.notify_all();
}

void ActionQueue::close() {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->closed = true;
    }
    shared_->changed.notify_all();
}

}  // namespace kesto
