#include "platform/BackgroundThread.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/Console.h"
#include "platform/NoDestructor.h"
#include "platform/internal/Isolated.h"

namespace kesto {
namespace {

struct Registry {
    std::mutex mutex;
    std::condition_variable finished;
    std::size_t running = 0;
};

Registry& registry() {
    // Never destroyed: a thread may still finish while the process exits.
    static NoDestructor<Registry> instance;
    return instance.get();
}

}  // namespace

void BackgroundThread::detachNew(std::function<void()> work) {
    auto& r = registry();
    {
        std::lock_guard lock(r.mutex);
        ++r.running;
    }
    try {
        std::thread([work = std::move(work)] {
            // A job that throws is logged; it neither ends the process nor
            // stays counted as running.
            runIsolated("Background job", work);
            auto& reg = registry();
            std::lock_guard lock(reg.mutex);
            --reg.running;
            reg.finished.notify_all();
        }).detach();
    } catch (const std::system_error& error) {
        Console::logf("Background thread not started: %s", error.what());
        std::lock_guard lock(r.mutex);
        --r.running;
        r.finished.notify_all();
    }
}

std::size_t BackgroundThread::running() {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    return r.running;
}

bool BackgroundThread::waitForAll(double timeoutSeconds) {
    auto& r = registry();
    std::unique_lock lock(r.mutex);
    return r.finished.wait_for(lock, std::chrono::duration<double>(timeoutSeconds),
                               [&] { return r.running == 0; });
}

}  // namespace kesto
