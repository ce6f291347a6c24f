#pragma once
// The File Entry: one file's or directory's ICB, holding its size and where
// its extents lie (short allocation descriptors after the extended
// attributes). Decoded from its sector, encoded into one, and the rebuild's
// edit of one extent in place.
#include <cstddef>
#include <cstdint>
#include <optional>

#include "format/endian.h"
#include "format/udf/allocation_descriptor.h"
#include "format/udf/layout.h"

namespace isorelink::udf {

struct IcbTag {
    std::uint32_t prior_direct_entries = 0;
    std::uint16_t strategy = 4;
    std::uint16_t strategy_parameter = 0;
    std::uint16_t max_entries = 1;
    std::uint8_t file_type = icb::kFileTypeFile;
    std::uint32_t parent_block = 0;
    std::uint16_t parent_partition = 0;
    std::uint16_t flags = 0;

    // 0 short_ad, 1 long_ad, 3 data embedded in the entry.
    std::uint16_t allocation_type() const { return flags & icb::kAllocationTypeMask; }
};

struct UdfFileEntry {
    IcbTag icb_tag;
    std::uint32_t uid = 0xFFFFFFFF;
    std::uint32_t gid = 0xFFFFFFFF;
    std::uint32_t permissions = 0;
    std::uint16_t link_count = 0;
    std::uint8_t record_format = 0;
    std::uint8_t record_display_attributes = 0;
    std::uint32_t record_length = 0;
    std::uint64_t information_length = 0;
    std::uint64_t logical_blocks_recorded = 0;
    ByteView access_time;        // timestamps, 12 bytes each
    ByteView modification_time;
    ByteView attribute_time;
    std::uint32_t checkpoint = 1;
    LongAd extended_attribute_icb;
    ByteView implementation_id;  // regid, 32 bytes
    std::uint64_t unique_id = 0;
    ByteView extended_attributes;
    ByteView allocation_descriptors;

    bool is_directory() const { return icb_tag.file_type == icb::kFileTypeDirectory; }
    std::size_t short_ad_count() const { return allocation_descriptors.size() / short_ad::kSize; }
    ShortAd short_ad_at(std::size_t i) const { return decode_short_ad(allocation_descriptors, i * short_ad::kSize); }
};

// Decodes the entry at the start of bytes; nothing when its extended
// attributes and allocation descriptors do not lie wholly in bytes. The spans
// point into bytes.
std::optional<UdfFileEntry> decode_file_entry(ByteView bytes);

// Writes the whole sector: the entry at `location` (its block), zeros after
// its allocation descriptors, sealed over everything after the tag.
void encode_file_entry(MutableByteView sector, std::uint32_t location, const UdfFileEntry& e);

// Single fields the extraction reads per file, from the entry's start.
inline bool opens_file_entry(ByteView bytes) { return le32(bytes, tag::kIdentifier) == kFileEntryTagWord; }
inline std::uint64_t information_length(ByteView entry) { return le64(entry, fe::kInformationLength); }

// Where the rebuild's edit of one entry goes. The Information Length (byte
// 56 of either entry kind) and the Logical Blocks Recorded (64, or 72 in an
// Extended File Entry, whose Object Size at 64 follows the file's size too)
// lie at their own places; the extent's descriptor lies wherever the entry's
// extended-attribute length puts it (308 on the console layout, where the
// Information Length thus lies 252 bytes before it).
struct RelinkPlace {
    std::size_t descriptor = fe::kShortAllocationDescriptor;
    bool extended = false;
    // The entry records no descriptor (an empty file): to give it data, its
    // descriptor length grows by this many bytes (8 short_ad, 16 long_ad)
    // and the tag covers them; 0 keeps the length as it is.
    std::uint8_t add_descriptor = 0;
    // The entry records no descriptor and stays empty: none is written.
    bool no_descriptor = false;
};

// The rebuild's edit of one entry: the extent (size and block), the
// Information Length, the Logical Blocks Recorded, and the tag resealed with
// crc_length (grown by the descriptor added). size goes in unchanged even
// from 2^30 bytes on, where a descriptor's top two bits would name another
// extent type: hosts rely on that.
void relink_file_entry(MutableByteView entry, const RelinkPlace& place, std::uint32_t size, std::uint32_t position,
                       std::uint16_t crc_length);

} // namespace isorelink::udf
