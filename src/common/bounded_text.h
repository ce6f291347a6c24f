#pragma once
// Joins pieces of text into a name that must fit a 2048-byte buffer
// (kMaxText characters). Over-long names are refused, never cut: a cut path
// would name another file.
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "common/job_error.h"

namespace isorelink {

inline std::optional<std::string> join_bounded(std::initializer_list<std::string_view> parts) {
    std::size_t total = 0;
    for (auto p : parts) total += p.size();
    if (total > kMaxText) return std::nullopt;
    std::string out;
    out.reserve(total);
    for (auto p : parts) out.append(p);
    return out;
}

} // namespace isorelink
