#pragma once
// What the room of a file depends on, read from an image: the sectors its
// file system structures take, and whether a stretch of sectors holds only
// zeros. replace plans with it; list reports each file's room from it.
#include <cstdint>
#include <string>
#include <vector>

#include "common/result.h"
#include "platform/read_handle.h"
#include "read/iso_volume.h"
#include "read/udf_volume.h"

namespace isorelink::host {

// Directories, path tables and, on a PS2 DVD, the UDF partition's first
// sector and every File Entry: sectors no file may take.
std::vector<std::uint32_t> metadata_sectors(const IsoVolume& iso, const UdfVolume& udf);

// The first sector in [first, end) of the image holding a byte other than
// zero; `end` when none does. Reads at most 1 MiB at a time; bytes past the
// image's end count as zeros, as a copy leaves them.
Expected<std::uint64_t> first_sector_with_data(const platform::ReadHandle& image, std::uint64_t image_size,
                                               const std::string& image_path, std::uint64_t first,
                                               std::uint64_t end);

} // namespace isorelink::host
