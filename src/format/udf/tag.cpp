#include "format/udf/tag.h"

namespace isorelink::udf {

void encode_tag(MutableByteView descriptor, const DescriptorTag& t) {
    put_le16(descriptor, tag::kIdentifier, t.identifier);
    put_le16(descriptor, tag::kVersion, t.version);
    put_u8(descriptor, tag::kChecksum, t.checksum);
    put_u8(descriptor, tag::kReserved, 0);
    put_le16(descriptor, tag::kSerial, t.serial);
    put_le16(descriptor, tag::kCrc, t.crc);
    put_le16(descriptor, tag::kCrcLength, t.crc_length);
    put_le32(descriptor, tag::kLocation, t.location);
}

std::uint8_t tag_checksum(ByteView descriptor) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < tag::kSize; ++i)
        if (i != tag::kChecksum) sum += u8(descriptor, i);
    return static_cast<std::uint8_t>(sum & 0xFF);
}

void seal_tag(MutableByteView descriptor, std::uint16_t crc_length) {
    detail::check_field(descriptor.size(), tag::kSize, crc_length);
    put_le16(descriptor, tag::kCrcLength, crc_length);
    const auto covered = ByteView(descriptor).subspan(tag::kSize, crc_length);
    put_le16(descriptor, tag::kCrc, crc_itu_t(covered));
    put_u8(descriptor, tag::kChecksum, tag_checksum(descriptor));
}

void reseal_tag(MutableByteView descriptor) { seal_tag(descriptor, le16(descriptor, tag::kCrcLength)); }

bool tag_is_valid(ByteView descriptor) {
    if (descriptor.size() < tag::kSize) return false;
    if (u8(descriptor, tag::kChecksum) != tag_checksum(descriptor)) return false;
    const std::size_t length = le16(descriptor, tag::kCrcLength);
    if (length > descriptor.size() - tag::kSize) return false;
    return le16(descriptor, tag::kCrc) == crc_itu_t(descriptor.subspan(tag::kSize, length));
}

} // namespace isorelink::udf
