#pragma once
// One ISO 9660 directory record: decode from a directory's bytes, encode
// into them (the tests build directories with it).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "format/endian.h"

namespace isorelink {

struct DirectoryRecord {
    std::uint8_t length = 0;       // 0 marks the empty tail of a sector
    std::uint32_t extent = 0;      // little-endian half
    std::uint32_t data_length = 0; // little-endian half
    std::uint8_t flags = 0;
    ByteView identifier;
};

enum class RecordFit { Fits, EmptyTail, Broken };

// Checks the record at offset: EmptyTail for a zero length byte, Broken when
// the record is shorter than its fixed part or its identifier, or does not
// lie wholly inside directory.
RecordFit record_fit(ByteView directory, std::size_t offset);

// Decodes a record that record_fit() accepted.
DirectoryRecord decode_directory_record(ByteView directory, std::size_t offset);

// Appends a record (padded to an even length) to a directory's bytes.
void encode_directory_record(std::vector<std::byte>& directory, std::uint32_t extent, std::uint32_t data_length,
                             std::uint8_t flags, ByteView identifier);

} // namespace isorelink
