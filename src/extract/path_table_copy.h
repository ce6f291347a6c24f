#pragma once
// The path table copy: the image's type L path table area, written to the
// working file "tmp.tmp" for the sector order list.
#include <cstdint>
#include <string>

#include "platform/file.h"
#include "common/result.h"
#include "platform/image_window.h"

namespace isorelink {

struct PathTableArea {
    std::uint64_t offset = 0;  // byte offset of the type L table
    std::uint64_t length = 0;  // bytes to copy, whole sectors
};

// The area runs from the type L table's sector up to the optional type L
// table's sector. When the optional table's sector is 0 or below the type L
// sector (common mastering tools write 0) that difference would wrap: the
// area is then the type L table itself, its size rounded up to whole sectors.
// Equal sectors give an empty area. The area never runs past the longest
// path table (65,535 records), rounded up to whole sectors.
PathTableArea path_table_area(std::uint32_t type_l_sector, std::uint32_t optional_sector,
                              std::uint32_t path_table_size);

// Copies the area (the part of it that lies in the image) into copy. A type L
// table that does not lie wholly inside the image is a structural fault.
Status copy_path_table(ImageWindow& image, File& copy, const std::string& image_path,
                       const std::string& copy_path);

} // namespace isorelink
