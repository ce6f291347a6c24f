#pragma once
#include <cstdint>
#include <string_view>

namespace isorelink {

// The three kinds of image we serve. The values are stored and compared as
// 32-bit numbers; there is no value 2.
enum class ImageKind : std::int32_t {
    Ps2Dvd = 0,
    Ps2Cd = 1,
    PspUmd = 3,
};

constexpr std::string_view to_string(ImageKind kind) {
    switch (kind) {
    case ImageKind::Ps2Dvd: return "PS2 DVD";
    case ImageKind::Ps2Cd: return "PS2 CD";
    case ImageKind::PspUmd: return "PSP UMD";
    }
    return "unknown";
}

} // namespace isorelink
