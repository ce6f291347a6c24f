#pragma once
// One ISO 9660 directory record: decoded from a directory's bytes, encoded
// into them, and the rebuild's patch of its extent and data length.
//
//   0 length  1 extended attribute length  2 extent (both orders)
//   10 data length (both orders)  18 recording time (7)  25 flags
//   26 file unit size  27 interleave gap  28 volume sequence number (both)
//   32 identifier length  33 identifier, a pad byte when its length is
//   even, then the system use bytes (CD-XA attributes on PS2 CD and PSP UMD)
//
// Decoding reads the little-endian half of each both-byte-order number;
// encoding writes both halves.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "format/endian.h"
#include "format/iso9660/layout.h"

namespace isorelink {

struct DirectoryRecord {
    std::uint8_t length = 0;  // bytes the record takes (0 marks the empty tail of a sector)
    std::uint8_t extended_attribute_length = 0;
    std::uint32_t extent = 0;
    std::uint32_t data_length = 0;
    std::array<std::byte, 7> recording_time{};
    std::uint8_t flags = 0;
    std::uint8_t file_unit_size = 0;
    std::uint8_t interleave_gap = 0;
    std::uint16_t volume_sequence_number = 1;
    ByteView identifier;
    ByteView system_use;  // what follows the identifier and its pad byte

    bool is_directory() const { return (flags & iso::dr::kFlagDirectory) != 0; }
};

enum class RecordFit {
    Fits,
    EmptyTail,           // a zero length byte: the rest of the sector holds no record
    Overruns,            // shorter than its fixed part and one identifier byte, or past the bytes
    IdentifierOverruns,  // the identifier runs past the record's length
};

// Checks the record at offset of directory before it is decoded.
inline RecordFit record_fit(ByteView directory, std::size_t offset) {
    if (offset >= directory.size()) return RecordFit::Overruns;
    const std::uint8_t length = u8(directory, offset + iso::dr::kLength);
    if (length == 0) return RecordFit::EmptyTail;
    if (length < iso::dr::kFixedSize + 1 || length > directory.size() - offset) return RecordFit::Overruns;
    if (iso::dr::kFixedSize + u8(directory, offset + iso::dr::kIdentifierLength) > length)
        return RecordFit::IdentifierOverruns;
    return RecordFit::Fits;
}

// Bytes a record takes: the fixed part, the identifier, a pad byte when the
// identifier's length is even, and the system use bytes.
constexpr std::size_t directory_record_size(std::size_t identifier_length, std::size_t system_use_length) {
    return iso::dr::kFixedSize + identifier_length + ((identifier_length & 1) ? 0 : 1) + system_use_length;
}

// Decodes the record at offset of directory. For a record that record_fit()
// accepted the spans cover exactly its identifier and system use bytes; for
// any other (the primary volume descriptor's root record, say) the fixed
// part must lie in directory and the spans are cut at the record's length and
// at directory's end.
inline DirectoryRecord decode_directory_record(ByteView directory, std::size_t offset) {
    detail::check_field(directory.size(), offset, iso::dr::kFixedSize);
    const ByteView rest = directory.subspan(offset);
    DirectoryRecord record;
    record.length = u8(rest, iso::dr::kLength);
    const ByteView bytes = rest.first(std::max<std::size_t>(iso::dr::kFixedSize, std::min<std::size_t>(record.length, rest.size())));
    record.extended_attribute_length = u8(bytes, iso::dr::kExtendedAttributeLength);
    record.extent = both32(bytes, iso::dr::kExtent);
    record.data_length = both32(bytes, iso::dr::kDataLength);
    for (std::size_t i = 0; i < record.recording_time.size(); ++i)
        record.recording_time[i] = bytes[iso::dr::kRecordingTime + i];
    record.flags = u8(bytes, iso::dr::kFlags);
    record.file_unit_size = u8(bytes, iso::dr::kFileUnitSize);
    record.interleave_gap = u8(bytes, iso::dr::kInterleaveGap);
    record.volume_sequence_number = both16(bytes, iso::dr::kVolumeSequenceNumber);
    const std::size_t identifier_length = u8(bytes, iso::dr::kIdentifierLength);
    record.identifier = bytes.subspan(iso::dr::kIdentifier,
                                      std::min(identifier_length, bytes.size() - iso::dr::kIdentifier));
    const std::size_t system_use = directory_record_size(identifier_length, 0);
    if (system_use < bytes.size()) record.system_use = bytes.subspan(system_use);
    return record;
}

// Writes the extent and data length, both byte orders, at `at`: the 16 bytes
// from a record's offset 2 on.
inline void put_extent_and_length(MutableByteView bytes, std::size_t at, std::uint32_t extent,
                                  std::uint32_t data_length) {
    put_both32(bytes, at, extent);
    put_both32(bytes, at + (iso::dr::kDataLength - iso::dr::kExtent), data_length);
}

// The 16 bytes the rebuild writes over a record's extent field.
inline std::array<std::byte, iso::dr::kPatchedBytes> extent_and_length_patch(std::uint32_t extent,
                                                                             std::uint32_t data_length) {
    std::array<std::byte, iso::dr::kPatchedBytes> bytes{};
    put_extent_and_length(bytes, 0, extent, data_length);
    return bytes;
}

// Writes the record (record.length is not read: the size is the identifier's
// and system use's) at offset of out; returns the bytes it took.
std::size_t encode_directory_record(MutableByteView out, std::size_t offset, const DirectoryRecord& record);

// Appends a record with a zero recording time and no system use bytes.
void encode_directory_record(std::vector<std::byte>& directory, std::uint32_t extent, std::uint32_t data_length,
                             std::uint8_t flags, ByteView identifier);

} // namespace isorelink
