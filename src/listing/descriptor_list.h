#pragma once
// The descriptor list of a PS2 DVD image: one UDF short allocation
// descriptor per file, read at anchor + i × 2048 (the files' File Entries
// stand one per sector, each with its descriptor at the same place), ordered
// by extent position with equal positions in read order. The descriptor of
// rank k belongs to the file of rank k in the file list: both are ordered by
// where the file's data lies.
#include <cstdint>
#include <string>
#include <vector>

#include "common/result.h"
#include "volume/image_window.h"

namespace isorelink {

struct DescriptorEntry {
    std::uint32_t extent_position = 0;  // block within the partition
    std::uint64_t offset = 0;           // byte offset of the descriptor in the image
};

// A descriptor that does not lie wholly inside the image, or beyond 4 GiB
// where the listing cannot name it, is a structural fault.
Expected<std::vector<DescriptorEntry>> read_descriptor_list(ImageWindow& image, std::uint64_t anchor,
                                                            std::size_t count, const std::string& image_path);

} // namespace isorelink
