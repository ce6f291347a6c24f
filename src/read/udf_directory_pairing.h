#pragma once
// Pairs the listed files of a PS2 DVD with the File Entries the UDF
// directory names for the same paths.
//
// The pairing by rank (descriptor_list.h) holds while every file's data lies
// inside the partition in the same order on both sides; a file whose ISO
// sector lies below the partition (an empty file at sector 0, say) shifts
// every later pair by one. The UDF directory says which entry belongs to
// which file: the walk goes from the anchor at 256 through the volume
// descriptor sequence to the File Set Descriptor's root and down the File
// Identifier Descriptors, reading the image through its window.
#include <cstddef>
#include <optional>
#include <vector>

#include "platform/image_window.h"
#include "read/descriptor_list.h"
#include "read/directory_walker.h"

namespace isorelink {

// Every file whose path (compared without regard to ASCII case) the UDF
// directory names with a File Entry of its own that holds one short_ad at
// its usual place (after 132 bytes of extended attributes) takes that
// short_ad as its descriptor; the files left over take the descriptors left
// over, in rank order. descriptors holds the pairing by rank, one per file.
// Returns how many files the directory paired, or nothing when the walk was
// not possible (descriptors are then left as they are). The walk is skipped,
// and every file counted as paired, when the ranks evidently give each file
// the one entry that holds its extent.
std::optional<std::size_t> pair_by_udf_directory(ImageWindow& image, const std::vector<FileEntry>& files,
                                                 std::vector<DescriptorEntry>& descriptors);

} // namespace isorelink
