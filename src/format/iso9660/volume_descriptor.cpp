#include "format/iso9660/volume_descriptor.h"

#include <algorithm>

namespace isorelink {

namespace {

constexpr char kStandardId[] = "CD001";

void put_span(MutableByteView out, std::size_t at, std::size_t width, ByteView text, std::byte fill) {
    const std::size_t n = std::min(width, text.size());
    std::copy_n(text.begin(), n, out.begin() + static_cast<std::ptrdiff_t>(at));
    std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(at + n), width - n, fill);
}

} // namespace

bool is_primary_volume_descriptor(ByteView descriptor) {
    if (descriptor.size() < iso::pvd::kStandardId + 5 || u8(descriptor, iso::pvd::kType) != 1) return false;
    for (std::size_t i = 0; i < 5; ++i)
        if (u8(descriptor, iso::pvd::kStandardId + i) != static_cast<std::uint8_t>(kStandardId[i])) return false;
    return true;
}

PrimaryVolumeDescriptor decode_primary_volume_descriptor(ByteView d) {
    namespace pvd = iso::pvd;
    detail::check_field(d.size(), 0, pvd::kSize);
    PrimaryVolumeDescriptor v;
    v.type = u8(d, pvd::kType);
    v.standard_id = d.subspan(pvd::kStandardId, 5);
    v.version = u8(d, pvd::kVersion);
    v.system_id = d.subspan(pvd::kSystemId, 32);
    v.volume_id = d.subspan(pvd::kVolumeId, 32);
    v.volume_space_size = both32(d, pvd::kVolumeSpaceSize);
    v.volume_set_size = both16(d, pvd::kVolumeSetSize);
    v.volume_sequence_number = both16(d, pvd::kVolumeSequenceNumber);
    v.logical_block_size = both16(d, pvd::kLogicalBlockSize);
    v.path_table_size = both32(d, pvd::kPathTableSize);
    v.type_l_path_table = le32(d, pvd::kTypeLPathTable);
    v.optional_type_l_path_table = le32(d, pvd::kOptionalTypeLPathTable);
    v.type_m_path_table = be32(d, pvd::kTypeMPathTable);
    v.optional_type_m_path_table = be32(d, pvd::kOptionalTypeMPathTable);
    v.root = decode_directory_record(d.subspan(pvd::kRootDirectoryRecord, pvd::kRootRecordSize), 0);
    v.volume_set_id = d.subspan(pvd::kVolumeSetId, 128);
    v.publisher_id = d.subspan(pvd::kPublisherId, 128);
    v.preparer_id = d.subspan(pvd::kPreparerId, 128);
    v.application_id = d.subspan(pvd::kApplicationId, 128);
    v.file_ids = d.subspan(pvd::kApplicationId + 128, pvd::kFileIdsSize);
    v.creation_time = d.subspan(pvd::kCreationTime, 17);
    v.modification_time = d.subspan(pvd::kModificationTime, 17);
    v.expiration_time = d.subspan(pvd::kExpirationTime, 17);
    v.effective_time = d.subspan(pvd::kEffectiveTime, 17);
    v.file_structure_version = u8(d, pvd::kFileStructureVersion);
    v.application_use = d.subspan(pvd::kApplicationUse, 512);
    return v;
}

void encode_primary_volume_descriptor(MutableByteView s, const PrimaryVolumeDescriptor& v) {
    namespace pvd = iso::pvd;
    detail::check_field(s.size(), 0, pvd::kSize);
    constexpr std::byte kSpace{' '};
    constexpr std::byte kZero{0};
    std::fill(s.begin(), s.end(), kZero);
    put_u8(s, pvd::kType, v.type);
    put_span(s, pvd::kStandardId, 5, v.standard_id.empty() ? std::as_bytes(std::span(kStandardId, 5)) : v.standard_id,
             kSpace);
    put_u8(s, pvd::kVersion, v.version);
    put_span(s, pvd::kSystemId, 32, v.system_id, kSpace);
    put_span(s, pvd::kVolumeId, 32, v.volume_id, kSpace);
    put_volume_space_size(s, v.volume_space_size);
    put_both16(s, pvd::kVolumeSetSize, v.volume_set_size);
    put_both16(s, pvd::kVolumeSequenceNumber, v.volume_sequence_number);
    put_both16(s, pvd::kLogicalBlockSize, v.logical_block_size);
    put_both32(s, pvd::kPathTableSize, v.path_table_size);
    put_le32(s, pvd::kTypeLPathTable, v.type_l_path_table);
    put_le32(s, pvd::kOptionalTypeLPathTable, v.optional_type_l_path_table);
    put_be32(s, pvd::kTypeMPathTable, v.type_m_path_table);
    put_be32(s, pvd::kOptionalTypeMPathTable, v.optional_type_m_path_table);
    encode_directory_record(s.subspan(pvd::kRootDirectoryRecord, pvd::kRootRecordSize), 0, v.root);
    put_span(s, pvd::kVolumeSetId, 128, v.volume_set_id, kSpace);
    put_span(s, pvd::kPublisherId, 128, v.publisher_id, kSpace);
    put_span(s, pvd::kPreparerId, 128, v.preparer_id, kSpace);
    put_span(s, pvd::kApplicationId, 128, v.application_id, kSpace);
    put_span(s, pvd::kApplicationId + 128, pvd::kFileIdsSize, v.file_ids, kSpace);
    put_span(s, pvd::kCreationTime, 17, v.creation_time, kZero);
    put_span(s, pvd::kModificationTime, 17, v.modification_time, kZero);
    put_span(s, pvd::kExpirationTime, 17, v.expiration_time, kZero);
    put_span(s, pvd::kEffectiveTime, 17, v.effective_time, kZero);
    put_u8(s, pvd::kFileStructureVersion, v.file_structure_version);
    put_span(s, pvd::kApplicationUse, 512, v.application_use, kZero);
}

} // namespace isorelink
