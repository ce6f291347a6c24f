#include "platform/message_pump.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

namespace isorelink::platform {

namespace {
// Per-thread: a job and its pump live on the caller's thread.
thread_local PumpHook t_hook = nullptr;
thread_local void* t_hook_context = nullptr;
thread_local std::int64_t t_last_pump_ms = 0;
thread_local std::uint64_t t_pump_calls = 0;

// Milliseconds of a clock that is cheap to read (the kernel's tick, a few ms
// coarse): the loops look at it often, and a 10 ms interval needs no finer.
std::int64_t coarse_now_ms() {
#if defined(_WIN32)
    return static_cast<std::int64_t>(GetTickCount64());
#elif defined(CLOCK_MONOTONIC_COARSE)
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
#else
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
#endif
}

bool interval_passed() { return coarse_now_ms() - t_last_pump_ms >= kPumpInterval.count(); }

#ifdef _WIN32
// Upper bound of messages one pump call dispatches.
constexpr std::uint32_t kMaxMessagesPerPump = 4096;
#endif
} // namespace

bool pump_messages() {
    ++t_pump_calls;
    t_last_pump_ms = coarse_now_ms();
#ifdef _WIN32
    // Look without removing; take with PeekMessageA too, so that the pump can
    // never block. A window that keeps posting to itself (or an invalid region
    // that nobody validates) would keep the queue from ever emptying, so one
    // call dispatches a bounded number of messages; the next call goes on.
    MSG message;
    for (std::uint32_t dispatched = 0; dispatched < kMaxMessagesPerPump; ++dispatched) {
        if (!PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) return true;
        if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) return true;
        if (message.message == WM_QUIT) {
            // Leave the quit message for the host's own loop, with its exit code.
            PostQuitMessage(static_cast<int>(message.wParam));
            return false;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return true;
#else
    if (t_hook != nullptr) t_hook(t_hook_context);
    return true;
#endif
}

void pump_when_due() {
    if (interval_passed()) pump_messages();
}

void set_pump_hook(PumpHook hook, void* context) {
    t_hook = hook;
    t_hook_context = context;
}

std::uint64_t pump_call_count() { return t_pump_calls; }

std::uint64_t yield_call_count() { return progress::tick_count(); }

} // namespace isorelink::platform
