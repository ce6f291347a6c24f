#include "common/progress.h"

namespace isorelink::progress {

constinit thread_local std::uint64_t detail::t_ticks = 0;
constinit thread_local Sink detail::t_sink = nullptr;

} // namespace isorelink::progress
