#include "format/iso9660/directory_record.h"

#include <algorithm>

namespace isorelink {

std::size_t encode_directory_record(MutableByteView out, std::size_t offset, const DirectoryRecord& record) {
    const std::size_t length = directory_record_size(record.identifier.size(), record.system_use.size());
    detail::check_field(out.size(), offset, length);
    const MutableByteView bytes = out.subspan(offset, length);
    put_u8(bytes, iso::dr::kLength, static_cast<std::uint8_t>(length));
    put_u8(bytes, iso::dr::kExtendedAttributeLength, record.extended_attribute_length);
    put_extent_and_length(bytes, iso::dr::kExtent, record.extent, record.data_length);
    std::copy(record.recording_time.begin(), record.recording_time.end(), bytes.begin() + iso::dr::kRecordingTime);
    put_u8(bytes, iso::dr::kFlags, record.flags);
    put_u8(bytes, iso::dr::kFileUnitSize, record.file_unit_size);
    put_u8(bytes, iso::dr::kInterleaveGap, record.interleave_gap);
    put_both16(bytes, iso::dr::kVolumeSequenceNumber, record.volume_sequence_number);
    put_u8(bytes, iso::dr::kIdentifierLength, static_cast<std::uint8_t>(record.identifier.size()));
    std::copy(record.identifier.begin(), record.identifier.end(), bytes.begin() + iso::dr::kIdentifier);
    const std::size_t system_use = directory_record_size(record.identifier.size(), 0);
    if (system_use > iso::dr::kIdentifier + record.identifier.size()) put_u8(bytes, system_use - 1, 0);
    std::copy(record.system_use.begin(), record.system_use.end(), bytes.begin() + static_cast<std::ptrdiff_t>(system_use));
    return length;
}

void encode_directory_record(std::vector<std::byte>& directory, std::uint32_t extent, std::uint32_t data_length,
                             std::uint8_t flags, ByteView identifier) {
    DirectoryRecord record;
    record.extent = extent;
    record.data_length = data_length;
    record.flags = flags;
    record.identifier = identifier;
    const std::size_t at = directory.size();
    directory.resize(at + directory_record_size(identifier.size(), 0));
    encode_directory_record(directory, at, record);
}

} // namespace isorelink
