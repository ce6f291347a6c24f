#pragma once
// The descriptor anchor of a PS2 DVD image: the byte position of the short
// allocation descriptor (File Entry offset 308) in the first File Entry whose
// extent does not lie before the entry itself, that is the first file's.
// The files' File Entries follow it one per sector, so descriptor i lies at
// anchor + i × 2048.
//
// The search matches 16-byte blocks on the image's 16-byte grid only:
// - the identifier marker (00 "DVD-ROM GENERAT", the implementation
//   identifier at entry offset 128) followed 160 bytes on by the attribute
//   marker (the extended attributes' tail at entry offset 288) starts it; an
//   identifier marker without it is passed over and the scan resumes at +160;
// - the reference is the entry's tag location, 116 bytes before the marker;
// - from the attribute marker on, the first attribute marker whose extent
//   location (24 bytes on) is not below the reference gives the anchor, 20
//   bytes on from that marker.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/result.h"
#include "platform/image_window.h"

namespace isorelink {

inline constexpr std::array<std::byte, 16> kIdentifierMarker = {
    std::byte{0x00}, std::byte{'D'}, std::byte{'V'}, std::byte{'D'}, std::byte{'-'}, std::byte{'R'},
    std::byte{'O'},  std::byte{'M'}, std::byte{' '}, std::byte{'G'}, std::byte{'E'}, std::byte{'N'},
    std::byte{'E'},  std::byte{'R'}, std::byte{'A'}, std::byte{'T'}};
inline constexpr std::array<std::byte, 16> kAttributeMarker = {
    std::byte{0x00}, std::byte{0x00}, std::byte{0x00}, std::byte{0x00}, std::byte{0x02}, std::byte{0x01},
    std::byte{0x00}, std::byte{0x00}, std::byte{0x00}, std::byte{0x00}, std::byte{0x00}, std::byte{0x00},
    std::byte{0x49}, std::byte{0x05}, std::byte{0x00}, std::byte{0x00}};

// Fails with 1106 (no UDF file entry found) when the image ends first.
Expected<std::uint64_t> find_descriptor_anchor(ImageWindow& image, const std::string& image_path);

} // namespace isorelink
