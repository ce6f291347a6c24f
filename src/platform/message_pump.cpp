#include "platform/message_pump.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace isorelink::platform {

namespace {
// Per-thread: a job and its pump live on the caller's thread.
thread_local PumpHook t_hook = nullptr;
thread_local void* t_hook_context = nullptr;
thread_local std::uint32_t t_ticks = 0;
thread_local std::chrono::steady_clock::time_point t_last_pump{};
thread_local std::uint64_t t_pump_calls = 0;

// Look at the clock once per this many ticks.
constexpr std::uint32_t kTicksPerClockCheck = 16;
} // namespace

bool pump_messages() {
    ++t_pump_calls;
    t_last_pump = std::chrono::steady_clock::now();
#ifdef _WIN32
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
        if (!GetMessageA(&message, nullptr, 0, 0)) {
            // The quit message: leave it for the host's own loop.
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

void set_pump_hook(PumpHook hook, void* context) {
    t_hook = hook;
    t_hook_context = context;
}

std::uint64_t pump_call_count() { return t_pump_calls; }

} // namespace isorelink::platform
