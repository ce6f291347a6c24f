#include "format/iso9660/path_table_record.h"

#include "format/iso9660/layout.h"

namespace isorelink {

bool is_path_table_end(ByteView table, std::size_t offset) {
    return offset + 2 <= table.size() && u8(table, offset + iso::ptr::kIdentifierLength) == 0 &&
           u8(table, offset + iso::ptr::kExtendedAttributeLength) == 0;
}

std::optional<PathTableRecord> decode_path_table_record(ByteView table, std::size_t offset) {
    if (offset > table.size() || table.size() - offset < iso::ptr::kFixedSize) return std::nullopt;
    PathTableRecord record;
    record.identifier_length = u8(table, offset + iso::ptr::kIdentifierLength);
    if (table.size() - offset - iso::ptr::kFixedSize < record.identifier_length) return std::nullopt;
    record.extended_attribute_length = u8(table, offset + iso::ptr::kExtendedAttributeLength);
    record.extent = le32(table, offset + iso::ptr::kExtent);
    record.parent_number = le16(table, offset + iso::ptr::kParentNumber);
    record.identifier = table.subspan(offset + iso::ptr::kIdentifier, record.identifier_length);
    record.size = iso::ptr::record_size(record.identifier_length);
    return record;
}

void encode_path_table_record(std::vector<std::byte>& table, std::uint32_t extent, std::uint16_t parent_number,
                              ByteView identifier, std::uint8_t extended_attribute_length) {
    const std::size_t at = table.size();
    table.resize(at + iso::ptr::record_size(identifier.size()));
    const MutableByteView out(table);
    put_u8(out, at + iso::ptr::kIdentifierLength, static_cast<std::uint8_t>(identifier.size()));
    put_u8(out, at + iso::ptr::kExtendedAttributeLength, extended_attribute_length);
    put_le32(out, at + iso::ptr::kExtent, extent);
    put_le16(out, at + iso::ptr::kParentNumber, parent_number);
    for (std::size_t i = 0; i < identifier.size(); ++i) out[at + iso::ptr::kIdentifier + i] = identifier[i];
}

} // namespace isorelink
