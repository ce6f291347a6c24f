#include "format/udf/tag.h"

#include "format/udf/layout.h"

namespace isorelink::udf {

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
