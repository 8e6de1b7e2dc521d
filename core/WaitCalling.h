// Waiting for work on another thread while the caller is called back now and
// then, so that a window can keep answering meanwhile.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <system_error>
#include <thread>

namespace qk {

inline constexpr std::chrono::milliseconds kWhileWaitingEvery{25};

// Calls `whileWaiting` (when given) at once and then every
// kWhileWaitingEvery until `ready()` holds.
template <typename Ready> void WaitCalling(const std::function<void()>& whileWaiting, Ready ready) {
    using Clock = std::chrono::steady_clock;
    auto called = Clock::now();
    if (whileWaiting) whileWaiting();
    while (!ready()) {
        const auto now = Clock::now();
        if (whileWaiting && now - called >= kWhileWaitingEvery) {
            called = now;
            whileWaiting();
            continue;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// Runs `work` on a helper thread and waits for it, calling `whileWaiting`.
// False, with nothing done, when no thread can be had.
template <typename Work> bool RunAside(Work work, const std::function<void()>& whileWaiting) {
    std::atomic<bool> done{false};
    std::thread helper;
    try {
        helper = std::thread([&] {
            work();
            done.store(true, std::memory_order_release);
        });
    } catch (const std::system_error&) {
        return false;
    }
    try {
        WaitCalling(whileWaiting, [&] { return done.load(std::memory_order_acquire); });
    } catch (...) {
        helper.join(); // the work reads what the caller is about to unwind
        throw;
    }
    helper.join();
    return true;
}

} // namespace qk
