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
#include "platform/image_window.h"

namespace isorelink {

struct DescriptorEntry {
    std::uint32_t extent_position = 0;  // block within the partition
    std::uint64_t offset = 0;           // byte offset of the descriptor in the image
    std::uint64_t information_length = 0;  // its File Entry's file size
};

// A descriptor that does not lie wholly inside the image, beyond 4 GiB where
// the listing cannot name it, or not in a sector that opens with a File Entry
// tag (more listed extents than File Entries, as with files recorded in
// several extents) is a structural fault. anchor must be at least 308.
Expected<std::vector<DescriptorEntry>> read_descriptor_list(ImageWindow& image, std::uint64_t anchor,
                                                            std::size_t count, const std::string& image_path);

// Files that share a first sector (empty files often do) are told apart by
// size: within such a run, each file takes the first unpaired descriptor of
// the run whose File Entry records its size; the others keep rank order.
// descriptors must be in the same order and number as files.
struct FileEntry;
void pair_shared_sectors(const std::vector<FileEntry>& files, std::vector<DescriptorEntry>& descriptors);

} // namespace isorelink
