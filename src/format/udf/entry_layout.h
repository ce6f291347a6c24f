#pragma once
// Where a File Entry (tag 261) or an Extended File Entry (tag 266) keeps its
// size, its recorded blocks and its allocation descriptors, read from the
// lengths the entry itself records: the descriptors follow the extended
// attributes, however long they are.
#include <cstddef>
#include <cstdint>
#include <optional>

#include "format/endian.h"
#include "format/udf/layout.h"

namespace isorelink::udf {

inline constexpr std::uint16_t kExtendedFileEntry = 266;

// Extended File Entry: the fields that differ from a File Entry's places.
namespace efe {
inline constexpr std::size_t kInformationLength = 56;      // u64, as in a File Entry
inline constexpr std::size_t kObjectSize = 64;             // u64
inline constexpr std::size_t kLogicalBlocksRecorded = 72;  // u64
inline constexpr std::size_t kExtendedAttributesLength = 208;
inline constexpr std::size_t kAllocationDescriptorsLength = 212;
inline constexpr std::size_t kExtendedAttributes = 216;
} // namespace efe

struct EntryLayout {
    bool extended = false;
    std::uint16_t allocation_type = 0;       // 0 short_ad, 1 long_ad, 3 data in the entry
    std::size_t descriptors = 0;             // where the allocation descriptors begin
    std::size_t descriptors_length = 0;      // L_AD
    std::size_t logical_blocks_recorded = 0;
    std::size_t descriptor_size() const {
        return allocation_type == 0 ? short_ad::kSize : allocation_type == 1 ? long_ad::kSize : 0;
    }
    std::size_t end() const { return descriptors + descriptors_length; }
};

// The layout of the entry at the start of bytes, when bytes opens with a File
// Entry or Extended File Entry tag and its descriptors lie wholly in bytes.
inline std::optional<EntryLayout> entry_layout(ByteView bytes) {
    if (bytes.size() < fe::kExtendedAttributes) return std::nullopt;
    const std::uint16_t id = le16(bytes, tag::kIdentifier);
    EntryLayout l;
    std::uint64_t ea = 0;
    std::uint64_t ad = 0;
    if (id == kFileEntry) {
        ea = le32(bytes, fe::kExtendedAttributesLength);
        ad = le32(bytes, fe::kAllocationDescriptorsLength);
        l.descriptors = fe::kExtendedAttributes;
        l.logical_blocks_recorded = fe::kLogicalBlocksRecorded;
    } else if (id == kExtendedFileEntry && bytes.size() >= efe::kExtendedAttributes) {
        l.extended = true;
        ea = le32(bytes, efe::kExtendedAttributesLength);
        ad = le32(bytes, efe::kAllocationDescriptorsLength);
        l.descriptors = efe::kExtendedAttributes;
        l.logical_blocks_recorded = efe::kLogicalBlocksRecorded;
    } else {
        return std::nullopt;
    }
    if (l.descriptors + ea + ad > bytes.size()) return std::nullopt;
    l.descriptors += static_cast<std::size_t>(ea);
    l.descriptors_length = static_cast<std::size_t>(ad);
    l.allocation_type = le16(bytes, fe::kIcbFlags) & icb::kAllocationTypeMask;
    return l;
}

} // namespace isorelink::udf
