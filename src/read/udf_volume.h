#pragma once
// A small read-only view of a PS2 DVD's UDF bridge: from the anchor at 256
// through the volume descriptor sequence, the partition, the File Set
// Descriptor and the root File Entry to every file's File Entry. Every tag
// met on the way is checked (identifier, location, checksum, CRC).
#include <cstdint>
#include <string>
#include <vector>

#include "platform/read_handle.h"
#include "read/image_source.h"

namespace isorelink::host {

struct UdfFile {
    std::string path;                 // "\\DATA\\FILE.BIN", as the File Identifiers name it
    std::uint32_t entry_sector = 0;   // the File Entry's sector in the image
    std::uint64_t size = 0;           // Information Length
    std::uint32_t sector = 0;         // partition start + first extent's block
    std::uint32_t extent_count = 0;   // short allocation descriptors
    std::uint64_t recorded_blocks = 0;  // Logical Blocks Recorded
};

struct UdfVolume {
    bool found = false;                // an anchor at 256 led to a partition
    std::uint32_t partition_start = 0;
    std::uint32_t partition_length = 0;
    std::vector<UdfFile> files;        // walk order
    std::vector<std::uint32_t> file_entry_sectors;  // walked to the directories alone: each file's entry, walk order
    std::vector<std::string> problems;
};

// How deep the walk reads: every File Entry (verify, replace), or the
// directories alone (list, which needs only where each file's entry lies:
// files stays empty and file_entry_sectors says it; a damaged file's entry
// goes unseen).
enum class UdfDepth { FileEntries, Directories };

// Walks the UDF side; image_sectors is the image's length in whole sectors
// (the last one must hold the closing anchor).
UdfVolume read_udf_volume(const ImageSource& image, std::uint64_t image_sectors,
                          UdfDepth depth = UdfDepth::FileEntries);
UdfVolume read_udf_volume(const platform::ReadHandle& image, std::uint64_t image_sectors,
                          UdfDepth depth = UdfDepth::FileEntries);

} // namespace isorelink::host
