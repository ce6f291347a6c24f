#pragma once
#include <cstdint>

namespace isorelink {

inline constexpr std::uint32_t kSectorSize = 2048;
inline constexpr unsigned kSectorShift = 11;
static_assert((1u << kSectorShift) == kSectorSize);

// Byte offset of a sector in the image. Always 64-bit: a 4.7 GB image has
// sectors whose offsets do not fit 32 bits.
constexpr std::uint64_t sector_offset(std::uint64_t lsn) { return lsn << kSectorShift; }

// Whole sectors in a byte length (a trailing partial sector is not counted).
constexpr std::uint64_t whole_sectors(std::uint64_t bytes) { return bytes >> kSectorShift; }

// Sectors needed to hold a byte length (a trailing partial sector counts).
constexpr std::uint64_t sectors_to_hold(std::uint64_t bytes) {
    return (bytes + kSectorSize - 1) >> kSectorShift;
}

constexpr bool on_sector_boundary(std::uint64_t offset) { return (offset & (kSectorSize - 1)) == 0; }

} // namespace isorelink
