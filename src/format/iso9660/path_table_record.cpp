#include "format/iso9660/path_table_record.h"

#include <algorithm>

namespace isorelink {

std::size_t encode_path_table_record(MutableByteView table, std::size_t offset, const PathTableRecord& record,
                                     PathTableOrder order) {
    const std::size_t size = iso::ptr::record_size(record.identifier.size());
    detail::check_field(table.size(), offset, size);
    const MutableByteView out = table.subspan(offset, size);
    put_u8(out, iso::ptr::kIdentifierLength, record.identifier_length());
    put_u8(out, iso::ptr::kExtendedAttributeLength, record.extended_attribute_length);
    if (order == PathTableOrder::TypeM) {
        put_be32(out, iso::ptr::kExtent, record.extent);
        put_be16(out, iso::ptr::kParentNumber, record.parent_number);
    } else {
        put_le32(out, iso::ptr::kExtent, record.extent);
        put_le16(out, iso::ptr::kParentNumber, record.parent_number);
    }
    std::copy(record.identifier.begin(), record.identifier.end(), out.begin() + iso::ptr::kIdentifier);
    if (size > iso::ptr::kIdentifier + record.identifier.size()) put_u8(out, size - 1, 0);
    return size;
}

void encode_path_table_record(std::vector<std::byte>& table, std::uint32_t extent, std::uint16_t parent_number,
                              ByteView identifier, std::uint8_t extended_attribute_length) {
    PathTableRecord record;
    record.extended_attribute_length = extended_attribute_length;
    record.extent = extent;
    record.parent_number = parent_number;
    record.identifier = identifier;
    const std::size_t at = table.size();
    table.resize(at + iso::ptr::record_size(identifier.size()));
    encode_path_table_record(table, at, record);
}

} // namespace isorelink
