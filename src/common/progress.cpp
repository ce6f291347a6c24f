#include "common/progress.h"

namespace isorelink::progress {

constinit thread_local std::uint64_t detail::t_ticks = 0;
constinit thread_local Sinks detail::t_sinks{};

} // namespace isorelink::progress
