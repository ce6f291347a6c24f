#pragma once
// The end step: the new image's recorded volume size and its end brought into
// line with its length, per kind.
//
//   PS2 DVD  when the sector count differs from the recorded size: a post-gap
//            of 150 zero sectors, "postgap" at the old length, an end anchor
//            in the gap's last sector, the new size and the partition length;
//            a second pass repairs a gap that fell short.
//   PS2 CD   on every run: a post-gap, "postgap" in its last 7 bytes, the size.
//   PSP UMD  the size only (a trailing partial sector stays as it is).
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "format/image_kind.h"
#include "common/result.h"

namespace isorelink {

inline constexpr std::uint32_t kPostGapSectors = 150;
inline constexpr std::string_view kPostGapMarker = "postgap";

// The UDF anchor volume descriptor pointer the end step writes at `sector`:
// main sequence at 32, reserve at 48, tag sealed (CRC 0xB51E, checksum over
// the tag including its location).
std::array<std::byte, 2048> end_anchor(std::uint32_t sector);

struct VolumeEnd {
    std::uint64_t image_size = 0;   // bytes, after the step
    std::uint32_t volume_size = 0;  // sectors, as now recorded
    bool changed = false;           // the step wrote anything
};

// Reopens the new image and runs the kind's end step. Fails with 4001dvd,
// 4002dvd, 4003cd or 4001psp when the image does not open, with 408 when its
// length cannot be taken or a write fails.
Expected<VolumeEnd> finish_volume(ImageKind kind, const std::string& image_path, std::uint32_t partition_start);

} // namespace isorelink
