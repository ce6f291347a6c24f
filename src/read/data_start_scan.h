#pragma once
// The data start sector the record file begins with: for PS2 CD and PSP UMD
// images the header sector count H; for PS2 DVD images the first sector after
// the first run of File Entry sectors (opening with 05 01 02 00) at or after
// sector H.
#include <cstdint>
#include <string>

#include "format/image_kind.h"
#include "common/result.h"
#include "platform/image_window.h"

namespace isorelink {

// Sectors [first, end) already known to open with a File Entry tag (the
// descriptor list checked each of them): the scan passes over them without
// reading them again.
struct KnownFileEntries {
    std::uint64_t first = 0;
    std::uint64_t end = 0;
};

// Fails with 1106 (no UDF data start found) when the image ends before the
// run or inside it, or when the sector does not fit 32 bits.
Expected<std::uint32_t> data_start_sector(ImageKind kind, ImageWindow& image, std::uint64_t header_sectors,
                                          const std::string& image_path, KnownFileEntries known = {});

} // namespace isorelink
