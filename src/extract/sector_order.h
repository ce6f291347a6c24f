#pragma once
// The sector order list: the first sector of every directory that the path
// table copy names, ascending. Its last entry is the highest directory.
#include <cstdint>
#include <vector>

#include "format/endian.h"
#include "platform/file.h"

namespace isorelink {

// Reads the records of a type L path table area up to the first record whose
// first two bytes are zero, or to the end of the area (a table that fills its
// sectors exactly has no such record). Equal sectors stay as two entries.
std::vector<std::uint32_t> sector_order_list(ByteView path_table_area);

// The same over the path table copy, read from its start in large blocks and
// only as far as the table goes.
std::vector<std::uint32_t> sector_order_list(File& path_table_copy);

// The highest directory sector: the list's last entry, 0 for an empty list.
std::uint32_t highest_directory(const std::vector<std::uint32_t>& sector_order);

} // namespace isorelink
