#pragma once
// The UDF 1.02 bridge of a PS2 DVD as the console DVD authoring tool lays
// it out: recognition sequence, volume descriptor sequences, integrity
// descriptor, anchors, File Set Descriptor, File Identifier Descriptors and
// File Entries with their 132 bytes of extended attributes.
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "format/endian.h"
#include "kit/layout_plan.h"

namespace isorelink::kit {

// One 2048-byte sector holding "BEA01", "NSR02" or "TEA01".
void encode_recognition_sector(MutableByteView sector, std::string_view identifier);

// PVD, IUVD, partition, LVD, USD and terminating descriptor in six sectors
// starting at `first_sector`.
std::vector<std::byte> encode_volume_descriptor_sequence(const ImageRecipe& recipe, const Plan& plan,
                                                         std::uint32_t first_sector);

// The closed integrity descriptor and its terminator (sectors 64, 65).
std::vector<std::byte> encode_integrity_sequence(const Plan& plan);

void encode_anchor(MutableByteView sector, std::uint32_t location);

// Partition blocks 0 and 1: the File Set Descriptor and its terminator.
std::vector<std::byte> encode_file_set(const ImageRecipe& recipe, const Plan& plan);

// A directory's File Identifier Descriptors, padded to whole sectors.
std::vector<std::byte> encode_identifiers(const ImageRecipe& recipe, const Plan& plan, std::size_t directory);

// A File Entry sector. `extents` are (length, partition block) pairs.
struct EntryContent {
    std::uint32_t block = 0;  // the entry's own partition block
    bool directory = false;
    std::uint16_t link_count = 1;
    std::uint64_t unique_id = 0;
    std::uint64_t information_length = 0;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> extents;
};
void encode_file_entry(MutableByteView sector, const EntryContent& entry);

EntryContent directory_entry(const Plan& plan, std::size_t directory);
EntryContent file_entry(const Plan& plan, std::size_t file);

} // namespace isorelink::kit
