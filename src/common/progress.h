#pragma once
// How long loops say they are still working. A loop calls tick() once per
// record or block; every 16th call reaches the sink that the job running on
// this thread installed (the module's jobs install the message pump, so the
// host's window stays alive; the CLI's jobs the same pump with its hook).
// Readers and writers thus know nothing of the platform, and a loop run with
// no job around it (a test, a fuzz target) costs an increment and a test.
#include <cstdint>

namespace isorelink::progress {

using Sink = void (*)();

namespace detail {
// constinit spares every call the check whether the variables still need
// initialising.
extern constinit thread_local std::uint64_t t_ticks;
extern constinit thread_local Sink t_sink;
inline constexpr std::uint64_t kTicksPerSink = 16;
} // namespace detail

// For loops: inline, so the 15 calls in 16 that only count cost an increment and a test.
inline void tick() {
    if (++detail::t_ticks % detail::kTicksPerSink != 0) return;
    if (detail::t_sink != nullptr) detail::t_sink();
}

// For loops whose every step takes a millisecond or more (block copies):
// reaches the sink on every call.
inline void slow_step() {
    ++detail::t_ticks;
    if (detail::t_sink != nullptr) detail::t_sink();
}

// Installs a sink for this thread while it lives, then restores the one before.
class [[nodiscard]] Scope {
public:
    explicit Scope(Sink sink) : previous_(detail::t_sink) { detail::t_sink = sink; }
    ~Scope() { detail::t_sink = previous_; }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

private:
    Sink previous_;
};

// How often loops on this thread ticked (for benchmarks).
inline std::uint64_t tick_count() { return detail::t_ticks; }

} // namespace isorelink::progress
