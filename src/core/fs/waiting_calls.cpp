#include "fs/waiting_calls.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

namespace quellomir {
namespace {

// One per thread that ever called into a drive. The path is copied in at the start of a
// call, so that a reader never follows a pointer into a call that has meanwhile returned.
struct Slot {
    std::mutex mutex; // held only for the copy in and the copy out: never contended for long
    std::string path;
    WaitingCalls::Clock::time_point since;
    std::atomic<bool> busy{false};
};

std::mutex& slotsMutex() {
    static std::mutex mutex;
    return mutex;
}

std::vector<Slot*>& slots() {
    static std::vector<Slot*> all;
    return all;
}

#ifndef _WIN32
struct ThreadSlot {
    Slot slot;
    ThreadSlot() {
        std::lock_guard lock(slotsMutex());
        slots().push_back(&slot);
    }
    ~ThreadSlot() {
        std::lock_guard lock(slotsMutex());
        std::erase(slots(), &slot);
    }
};
#endif

Slot& ownSlot() {
#ifdef _WIN32
    // mingw-w64's thread-local objects with destructors corrupt the heap when their thread
    // ends (the emulated TLS block is freed around the destructor): a thread's slot is kept
    // for the life of the program instead, a few dozen bytes for each thread there was.
    thread_local Slot* own = nullptr;
    if (!own) {
        own = new Slot;
        std::lock_guard lock(slotsMutex());
        slots().push_back(own);
    }
    return *own;
#else
    thread_local ThreadSlot own;
    return own.slot;
#endif
}

} // namespace

WaitingCalls::Call::Call(const std::string& path) {
    Slot& slot = ownSlot();
    std::lock_guard lock(slot.mutex);
    slot.path.assign(path);
    slot.since = Clock::now();
    slot.busy.store(true, std::memory_order_release);
}

WaitingCalls::Call::~Call() {
    ownSlot().busy.store(false, std::memory_order_release);
}

std::optional<WaitingCalls::Wait> WaitingCalls::longest() {
    std::optional<Wait> found;
    const Clock::time_point now = Clock::now();
    std::lock_guard all(slotsMutex());
    for (Slot* slot : slots()) {
        if (!slot->busy.load(std::memory_order_acquire)) continue;
        std::lock_guard lock(slot->mutex);
        // Read again under the lock: the call may have ended, and another begun, meanwhile.
        if (!slot->busy.load(std::memory_order_acquire)) continue;
        const Clock::duration waited = now - slot->since;
        if (!found || waited > found->waited) found = Wait{slot->path, waited};
    }
    return found;
}

std::string unansweredText(const WaitingCalls::Wait& wait) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(wait.waited).count();
    return wait.path + " has not answered for " + std::to_string(seconds) + " s";
}

} // namespace quellomir
