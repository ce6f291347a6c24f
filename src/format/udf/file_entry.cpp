#include "format/udf/file_entry.h"

#include <algorithm>

#include "format/sector.h"
#include "format/udf/entry_layout.h"
#include "format/udf/fields.h"
#include "format/udf/tag.h"

namespace isorelink::udf {

namespace {

IcbTag decode_icb_tag(ByteView b) {
    IcbTag t;
    t.prior_direct_entries = le32(b, icb::kPriorDirectEntries);
    t.strategy = le16(b, icb::kStrategy);
    t.strategy_parameter = le16(b, icb::kStrategyParameter);
    t.max_entries = le16(b, icb::kMaxEntries);
    t.file_type = u8(b, icb::kFileType);
    t.parent_block = le32(b, icb::kParentIcb);
    t.parent_partition = le16(b, icb::kParentIcb + 4);
    t.flags = le16(b, icb::kFlags);
    return t;
}

void encode_icb_tag(MutableByteView b, const IcbTag& t) {
    put_le32(b, icb::kPriorDirectEntries, t.prior_direct_entries);
    put_le16(b, icb::kStrategy, t.strategy);
    put_le16(b, icb::kStrategyParameter, t.strategy_parameter);
    put_le16(b, icb::kMaxEntries, t.max_entries);
    put_u8(b, icb::kFileType, t.file_type);
    put_le32(b, icb::kParentIcb, t.parent_block);
    put_le16(b, icb::kParentIcb + 4, t.parent_partition);
    put_le16(b, icb::kFlags, t.flags);
}

} // namespace

std::optional<UdfFileEntry> decode_file_entry(ByteView bytes) {
    if (bytes.size() < fe::kExtendedAttributes) return std::nullopt;
    const std::uint64_t ea = le32(bytes, fe::kExtendedAttributesLength);
    const std::uint64_t ad = le32(bytes, fe::kAllocationDescriptorsLength);
    if (fe::kExtendedAttributes + ea + ad > bytes.size()) return std::nullopt;
    UdfFileEntry e;
    e.icb_tag = decode_icb_tag(bytes.subspan(fe::kIcbTag, icb::kSize));
    e.uid = le32(bytes, fe::kUid);
    e.gid = le32(bytes, fe::kGid);
    e.permissions = le32(bytes, fe::kPermissions);
    e.link_count = le16(bytes, fe::kLinkCount);
    e.record_format = u8(bytes, fe::kRecordFormat);
    e.record_display_attributes = u8(bytes, fe::kRecordDisplayAttributes);
    e.record_length = le32(bytes, fe::kRecordLength);
    e.information_length = le64(bytes, fe::kInformationLength);
    e.logical_blocks_recorded = le64(bytes, fe::kLogicalBlocksRecorded);
    e.access_time = field_bytes(bytes, fe::kAccessTime, kTimestampSize);
    e.modification_time = field_bytes(bytes, fe::kModificationTime, kTimestampSize);
    e.attribute_time = field_bytes(bytes, fe::kAttributeTime, kTimestampSize);
    e.checkpoint = le32(bytes, fe::kCheckpoint);
    e.extended_attribute_icb = decode_long_ad(bytes, fe::kExtendedAttributeIcb);
    e.implementation_id = field_bytes(bytes, fe::kImplementationId, kRegidSize);
    e.unique_id = le64(bytes, fe::kUniqueId);
    e.extended_attributes = bytes.subspan(fe::kExtendedAttributes, static_cast<std::size_t>(ea));
    e.allocation_descriptors = bytes.subspan(static_cast<std::size_t>(fe::kExtendedAttributes + ea),
                                             static_cast<std::size_t>(ad));
    return e;
}

void encode_file_entry(MutableByteView s, std::uint32_t location, const UdfFileEntry& e) {
    const std::size_t end = fe::kExtendedAttributes + e.extended_attributes.size() + e.allocation_descriptors.size();
    detail::check_field(s.size(), 0, end);
    std::fill(s.begin(), s.end(), std::byte{0});
    put_tag(s, kFileEntry, location);
    encode_icb_tag(s.subspan(fe::kIcbTag, icb::kSize), e.icb_tag);
    put_le32(s, fe::kUid, e.uid);
    put_le32(s, fe::kGid, e.gid);
    put_le32(s, fe::kPermissions, e.permissions);
    put_le16(s, fe::kLinkCount, e.link_count);
    put_u8(s, fe::kRecordFormat, e.record_format);
    put_u8(s, fe::kRecordDisplayAttributes, e.record_display_attributes);
    put_le32(s, fe::kRecordLength, e.record_length);
    put_le64(s, fe::kInformationLength, e.information_length);
    put_le64(s, fe::kLogicalBlocksRecorded, e.logical_blocks_recorded);
    put_field(s, fe::kAccessTime, kTimestampSize, e.access_time);
    put_field(s, fe::kModificationTime, kTimestampSize, e.modification_time);
    put_field(s, fe::kAttributeTime, kTimestampSize, e.attribute_time);
    put_le32(s, fe::kCheckpoint, e.checkpoint);
    encode_long_ad(s, fe::kExtendedAttributeIcb, e.extended_attribute_icb);
    put_field(s, fe::kImplementationId, kRegidSize, e.implementation_id);
    put_le64(s, fe::kUniqueId, e.unique_id);
    put_le32(s, fe::kExtendedAttributesLength, static_cast<std::uint32_t>(e.extended_attributes.size()));
    put_le32(s, fe::kAllocationDescriptorsLength, static_cast<std::uint32_t>(e.allocation_descriptors.size()));
    std::copy(e.extended_attributes.begin(), e.extended_attributes.end(), s.begin() + fe::kExtendedAttributes);
    std::copy(e.allocation_descriptors.begin(), e.allocation_descriptors.end(),
              s.begin() + static_cast<std::ptrdiff_t>(fe::kExtendedAttributes + e.extended_attributes.size()));
    seal_tag(s, static_cast<std::uint16_t>(end - tag::kSize));
}

void relink_file_entry(MutableByteView entry, const RelinkPlace& place, std::uint32_t size, std::uint32_t position,
                       std::uint16_t crc_length) {
    if (place.add_descriptor != 0) {
        const std::size_t lengths = place.extended ? efe::kAllocationDescriptorsLength : fe::kAllocationDescriptorsLength;
        put_le32(entry, lengths, le32(entry, lengths) + place.add_descriptor);
        crc_length = static_cast<std::uint16_t>(crc_length + place.add_descriptor);
    }
    if (!place.no_descriptor) encode_short_ad(entry, place.descriptor, {size, position});
    put_le32(entry, fe::kInformationLength, size);
    if (place.extended) {
        put_le64(entry, efe::kObjectSize, size);
        put_le64(entry, efe::kLogicalBlocksRecorded, sectors_to_hold(size));
    } else {
        put_le64(entry, fe::kLogicalBlocksRecorded, sectors_to_hold(size));
    }
    // Sealed with the CRC length read before the edit: the line's fields may
    // not rewrite how much the tag covers.
    seal_tag(entry, crc_length);
}

} // namespace isorelink::udf
