#pragma once
// One path table record: decoded from a table's bytes, encoded into them.
//
//   0 identifier length  1 extended attribute length  2 extent
//   6 parent directory number  8 identifier, a pad byte when its length is odd
//
// Numbers are little-endian in a type L table, big-endian in a type M one.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "format/endian.h"
#include "format/iso9660/layout.h"

namespace isorelink {

enum class PathTableOrder { TypeL, TypeM };

struct PathTableRecord {
    std::uint8_t extended_attribute_length = 0;
    std::uint32_t extent = 0;
    std::uint16_t parent_number = 0;
    ByteView identifier;     // without the pad byte
    std::size_t size = 0;    // bytes the record takes, pad byte included (decoded; the encoder computes it)

    std::uint8_t identifier_length() const { return static_cast<std::uint8_t>(identifier.size()); }
};

// A record whose first two bytes are both zero ends the table.
inline bool is_path_table_end(ByteView table, std::size_t offset) {
    return offset + 2 <= table.size() && u8(table, offset + iso::ptr::kIdentifierLength) == 0 &&
           u8(table, offset + iso::ptr::kExtendedAttributeLength) == 0;
}

// The record at offset, or nothing when its fixed part and identifier do not
// lie wholly inside table. The pad byte after an odd identifier is counted in
// size but need not be present (a table may end right after it).
inline std::optional<PathTableRecord> decode_path_table_record(ByteView table, std::size_t offset,
                                                               PathTableOrder order = PathTableOrder::TypeL) {
    if (offset > table.size() || table.size() - offset < iso::ptr::kFixedSize) return std::nullopt;
    const std::size_t identifier_length = u8(table, offset + iso::ptr::kIdentifierLength);
    if (table.size() - offset - iso::ptr::kFixedSize < identifier_length) return std::nullopt;
    PathTableRecord record;
    record.extended_attribute_length = u8(table, offset + iso::ptr::kExtendedAttributeLength);
    const bool m = order == PathTableOrder::TypeM;
    record.extent = m ? be32(table, offset + iso::ptr::kExtent) : le32(table, offset + iso::ptr::kExtent);
    record.parent_number =
        m ? be16(table, offset + iso::ptr::kParentNumber) : le16(table, offset + iso::ptr::kParentNumber);
    record.identifier = table.subspan(offset + iso::ptr::kIdentifier, identifier_length);
    record.size = iso::ptr::record_size(identifier_length);
    return record;
}

// Writes the record (with its pad byte) at offset of table; returns the bytes it took.
std::size_t encode_path_table_record(MutableByteView table, std::size_t offset, const PathTableRecord& record,
                                     PathTableOrder order = PathTableOrder::TypeL);

// Appends a type L record (with its pad byte) to a table.
void encode_path_table_record(std::vector<std::byte>& table, std::uint32_t extent, std::uint16_t parent_number,
                              ByteView identifier, std::uint8_t extended_attribute_length = 0);

} // namespace isorelink
