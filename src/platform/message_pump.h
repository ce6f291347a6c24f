#pragma once
// The host's message pump. Jobs run on the host's user-interface thread, so
// every long loop gives the host a chance to handle its window messages.
//
// pump_messages() drains the queue now (Windows: PeekMessageA without
// removing, then translate and dispatch until the queue is empty; a quit
// message met on the way is posted again). A queue that refills itself as
// fast as it is drained (a window that posts to itself on every message) is
// left after a few thousand messages, so a job never hangs in the pump. On
// POSIX it calls the hook a host installed, if any, and returns at once
// otherwise.
//
// yield_to_host() is what loops call: it is cheap enough to call per record
// and reaches the platform pump at most once per kPumpInterval of work, so the
// pump costs next to nothing while the host still hears from us often.
#include <chrono>
#include <cstdint>

namespace isorelink::platform {

inline constexpr std::chrono::milliseconds kPumpInterval{10};

// Returns true when the queue is empty, false when a quit message was met.
bool pump_messages();

namespace detail {
// How often loops on this thread called yield_to_host(); constinit spares
// every call the check whether the variable still needs initialising.
extern constinit thread_local std::uint64_t t_ticks;
inline constexpr std::uint64_t kTicksPerClockCheck = 16;
void yield_at_clock_check();
} // namespace detail

// Rate-limited pump for loops: inline, so the 15 calls in 16 that only count
// cost an increment and a test.
inline void yield_to_host() {
    if (++detail::t_ticks % detail::kTicksPerClockCheck != 0) return;
    detail::yield_at_clock_check();
}

// The same for loops whose every step takes a millisecond or more (block
// copies): looks at the clock on every call, not on every 16th.
void yield_after_slow_step();

// POSIX hosts (our CLI's progress display, the benchmarks' counter) may
// install a hook that pump_messages() calls. Pass nullptr to remove it.
using PumpHook = void (*)(void* context);
void set_pump_hook(PumpHook hook, void* context);

// How often the platform pump actually ran in this process (for benchmarks).
std::uint64_t pump_call_count();

// How often loops on this thread called yield_to_host() (for benchmarks).
std::uint64_t yield_call_count();

} // namespace isorelink::platform
