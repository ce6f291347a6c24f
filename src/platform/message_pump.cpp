#include "platform/message_pump.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace isorelink::platform {

namespace {
// Per-thread: a job and its pump live on the caller's thread.
thread_local PumpHook t_hook = nullptr;
thread_local void* t_hook_context = nullptr;
thread_local std::uint64_t t_ticks = 0;
thread_local std::chrono::steady_clock::time_point t_last_pump{};
thread_local std::uint64_t t_pump_calls = 0;

// Look at the clock once per this many ticks.
constexpr std::uint64_t kTicksPerClockCheck = 16;

#ifdef _WIN32
// Upper bound of messages one pump call dispatches.
constexpr std::uint32_t kMaxMessagesPerPump = 4096;
#endif
} // namespace

bool pump_messages() {
    ++t_pump_calls;
    t_last_pump = std::chrono::steady_clock::now();
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

void yield_to_host() {
    if (++t_ticks % kTicksPerClockCheck != 0) return;
    if (std::chrono::steady_clock::now() - t_last_pump >= kPumpInterval) pump_messages();
}

void yield_after_slow_step() {
    ++t_ticks;
    if (std::chrono::steady_clock::now() - t_last_pump >= kPumpInterval) pump_messages();
}

void set_pump_hook(PumpHook hook, void* context) {
    t_hook = hook;
    t_hook_context = context;
}

std::uint64_t pump_call_count() { return t_pump_calls; }

std::uint64_t yield_call_count() { return t_ticks; }

} // namespace isorelink::platform
