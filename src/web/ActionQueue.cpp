#include "web/ActionQueue.h"

namespace kesto {

ActionQueue::ActionQueue(Performer performer, RunLoop& loop)
    : performer_(std::move(performer)), hops_(loop) {}

bool ActionQueue::submit(nlohmann::json action, Start start, Done done) {
    if (closed_.load()) {
        return false;
    }
    hops_.hop([this, action = std::move(action), start = std::move(start), done = std::move(done)] {
        if (!start()) {
            return;
        }
        nlohmann::json answer;
        try {
            answer = performer_(action);
        } catch (const std::exception& e) {
            answer = {{"ok", false}, {"error", e.what()}};
        }
        done(std::move(answer));
    });
    return true;
}

void ActionQueue::close() {
    closed_.store(true);
}

}  // namespace kesto
