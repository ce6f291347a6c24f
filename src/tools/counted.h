#pragma once
// A count with its noun in the right number: "1 file", "2 files".
#include <cstdint>
#include <string>
#include <string_view>

namespace isorelink::host {

inline std::string counted(std::uint64_t count, std::string_view one, std::string_view many) {
    return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

} // namespace isorelink::host
