#pragma once
// The UDF side of any ISO 9660 + UDF bridge image, walked by the rules every
// UDF reader follows rather than by the console authoring tool's fixed File
// Entry layout: the anchor at sector 256, the main volume descriptor
// sequence (partition descriptor and logical volume descriptor), the File
// Set Descriptor, the root directory, and down the File Identifier
// Descriptors to every file's File Entry or Extended File Entry. The
// extended-attribute and allocation-descriptor lengths each entry records
// say where its descriptors lie; short and long descriptors are both read.
//
// Every tag met on the way must be sound (identifier, checksum, CRC,
// location). The walk reads through a callback, so the jobs (through their
// image window) and the tools (through a read handle) share it.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace isorelink {

// Fills out from the image at offset; false when the image does not hold it all.
using ImageReader = std::function<bool(std::uint64_t offset, std::span<std::byte> out)>;

struct UdfPartitionPlace {
    std::uint32_t start = 0;   // sector of block 0
    std::uint32_t length = 0;  // blocks
    std::uint32_t file_set_block = 0;
};

// One file the UDF directory names.
struct UdfNamedFile {
    std::string path;                       // "\DATA\A.BIN", case as named
    std::uint64_t entry_offset = 0;         // the (Extended) File Entry's byte offset
    std::uint64_t descriptor_offset = 0;    // its first allocation descriptor's, or where one would go
    std::uint32_t descriptor_size = 0;      // 8 short, 16 long, 0 data held in the entry
    std::uint32_t extent_count = 0;         // allocation descriptors recorded
    std::uint32_t first_block = 0;          // the first extent's block in the partition
    std::uint64_t information_length = 0;
    bool extended = false;                  // an Extended File Entry
};

struct UdfBridgeTree {
    UdfPartitionPlace partition;
    std::vector<UdfNamedFile> files;           // walk order
    std::vector<std::uint32_t> entry_sectors;  // every entry sector read, directories' too, ascending
};

// The partition an anchor at 256 leads to through a sound descriptor
// sequence, when the partition starts inside the image, its block size is
// 2,048 bytes and a sound File Set Descriptor opens it; nothing otherwise.
std::optional<UdfPartitionPlace> find_udf_partition(const ImageReader& read, std::uint64_t image_size);

// The whole tree, or nothing when the partition cannot be found or a
// directory cannot be read (a broken tag, a directory outside the image, a
// loop). Files whose names are not ASCII are left out.
std::optional<UdfBridgeTree> walk_udf_tree(const ImageReader& read, std::uint64_t image_size);

} // namespace isorelink
