#pragma once
#include <cstdint>
#include <optional>
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

// The kind the primary volume descriptor's two kind bytes name: the system
// byte (32777, the second character of the system identifier) and the
// application byte (33792):
//   'S' or 'M' with 'C' -> PspUmd;  'L' with 0x00 -> Ps2Dvd;  'L' with 'C' -> Ps2Cd;
// nothing for any other pair.
constexpr std::optional<ImageKind> kind_named_by(std::uint8_t system_byte, std::uint8_t application_byte) {
    if ((system_byte == 'S' || system_byte == 'M') && application_byte == 'C') return ImageKind::PspUmd;
    if (system_byte == 'L' && application_byte == 0x00) return ImageKind::Ps2Dvd;
    if (system_byte == 'L' && application_byte == 'C') return ImageKind::Ps2Cd;
    return std::nullopt;
}

} // namespace isorelink
