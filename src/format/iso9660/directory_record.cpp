#include "format/iso9660/directory_record.h"

#include "format/iso9660/layout.h"

namespace isorelink {

RecordFit record_fit(ByteView directory, std::size_t offset) {
    if (offset >= directory.size()) return RecordFit::Broken;
    const std::uint8_t length = u8(directory, offset + iso::dr::kLength);
    if (length == 0) return RecordFit::EmptyTail;
    if (length < iso::dr::kFixedSize || length > directory.size() - offset) return RecordFit::Broken;
    if (iso::dr::kFixedSize + u8(directory, offset + iso::dr::kIdentifierLength) > length) return RecordFit::Broken;
    return RecordFit::Fits;
}

DirectoryRecord decode_directory_record(ByteView directory, std::size_t offset) {
    DirectoryRecord record;
    record.length = u8(directory, offset + iso::dr::kLength);
    record.extent = both32(directory, offset + iso::dr::kExtent);
    record.data_length = both32(directory, offset + iso::dr::kDataLength);
    record.flags = u8(directory, offset + iso::dr::kFlags);
    record.identifier =
        directory.subspan(offset + iso::dr::kIdentifier, u8(directory, offset + iso::dr::kIdentifierLength));
    return record;
}

void encode_directory_record(std::vector<std::byte>& directory, std::uint32_t extent, std::uint32_t data_length,
                             std::uint8_t flags, ByteView identifier) {
    const std::size_t length = iso::dr::kFixedSize + identifier.size() + ((identifier.size() + 1) & 1);
    const std::size_t at = directory.size();
    directory.resize(at + length);
    const MutableByteView out(directory);
    put_u8(out, at + iso::dr::kLength, static_cast<std::uint8_t>(length));
    put_both32(out, at + iso::dr::kExtent, extent);
    put_both32(out, at + iso::dr::kDataLength, data_length);
    put_u8(out, at + iso::dr::kFlags, flags);
    put_both16(out, at + iso::dr::kVolumeSequenceNumber, 1);
    put_u8(out, at + iso::dr::kIdentifierLength, static_cast<std::uint8_t>(identifier.size()));
    for (std::size_t i = 0; i < identifier.size(); ++i) out[at + iso::dr::kIdentifier + i] = identifier[i];
}

} // namespace isorelink
