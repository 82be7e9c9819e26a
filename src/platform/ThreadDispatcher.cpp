#include "platform/ThreadDispatcher.h"

namespace kesto {
namespace {

thread_local ThreadDispatcher* currentDispatcher = nullptr;

}  // namespace

ThreadDispatcher* ThreadDispatcher::current() {
    return currentDispatcher;
}

void ThreadDispatcher::setCurrent(ThreadDispatcher* dispatcher) {
    currentDispatcher = dispatcher;
}

}  // namespace kesto
