#pragma once
// One record of a type L path table: decode from a table's bytes, encode
// into them (the tests build tables with it).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "format/endian.h"

namespace isorelink {

struct PathTableRecord {
    std::uint8_t identifier_length = 0;
    std::uint8_t extended_attribute_length = 0;
    std::uint32_t extent = 0;
    std::uint16_t parent_number = 0;
    ByteView identifier;     // identifier_length bytes, without the pad byte
    std::size_t size = 0;    // bytes the record takes, pad byte included
};

// A record whose first two bytes are both zero ends the table.
bool is_path_table_end(ByteView table, std::size_t offset);

// The record at offset, or nothing when its fixed part and identifier do not
// lie wholly inside table. The pad byte after an odd identifier is counted in
// size but need not be present (a table may end right after it).
std::optional<PathTableRecord> decode_path_table_record(ByteView table, std::size_t offset);

// Appends a record (with its pad byte) to a table.
void encode_path_table_record(std::vector<std::byte>& table, std::uint32_t extent, std::uint16_t parent_number,
                              ByteView identifier, std::uint8_t extended_attribute_length = 0);

} // namespace isorelink
