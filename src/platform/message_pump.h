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
// Loops do not call the pump themselves: they tick (common/progress.h), and a
// job installs pump_when_due() as the sink of its thread, which reaches the
// pump at most once per kPumpInterval of work, so the pump costs next to
// nothing while the host still hears from us often.
#include <chrono>
#include <cstdint>

#include "common/progress.h"

namespace isorelink::platform {

inline constexpr std::chrono::milliseconds kPumpInterval{10};

// Returns true when the queue is empty, false when a quit message was met.
bool pump_messages();

// The sink jobs install: pumps when kPumpInterval has passed since the last pump.
void pump_when_due();

// What a job puts at its start: while it lives, the loops of this thread
// reach the pump through pump_when_due().
class [[nodiscard]] PumpWhileRunning {
public:
    PumpWhileRunning() = default;

private:
    progress::Scope scope_{pump_when_due};
};

// POSIX hosts (our CLI's progress display, the benchmarks' counter) may
// install a hook that pump_messages() calls. Pass nullptr to remove it.
using PumpHook = void (*)(void* context);
void set_pump_hook(PumpHook hook, void* context);

// How often the platform pump actually ran in this process (for benchmarks).
std::uint64_t pump_call_count();

// How often loops on this thread ticked (for benchmarks).
std::uint64_t yield_call_count();

} // namespace isorelink::platform
