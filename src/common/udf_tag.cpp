#include "common/udf_tag.h"

#include <array>

#include "common/udf_layout.h"

namespace isorelink::udf {

namespace {
// kCrcTables[k][b]: the CRC of byte b followed by k zero bytes, so that eight
// bytes are folded in per step (File Entry tags cover hundreds of bytes, and
// the rebuild reseals one per line).
constexpr std::size_t kSlices = 8;
using CrcTables = std::array<std::array<std::uint16_t, 256>, kSlices>;

constexpr CrcTables make_crc_tables() {
    CrcTables tables{};
    for (unsigned i = 0; i < 256; ++i) {
        std::uint16_t crc = static_cast<std::uint16_t>(i << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
        tables[0][i] = crc;
    }
    for (std::size_t k = 1; k < kSlices; ++k) {
        for (unsigned i = 0; i < 256; ++i) {
            const std::uint16_t previous = tables[k - 1][i];
            tables[k][i] = static_cast<std::uint16_t>((previous << 8) ^ tables[0][previous >> 8]);
        }
    }
    return tables;
}
constexpr CrcTables kCrcTables = make_crc_tables();

unsigned byte_at(ByteView data, std::size_t i) { return std::to_integer<unsigned>(data[i]); }
} // namespace

std::uint16_t crc_itu_t(ByteView data) {
    const auto& t = kCrcTables;
    unsigned crc = 0;
    std::size_t i = 0;
    for (; i + kSlices <= data.size(); i += kSlices) {
        crc = t[7][byte_at(data, i) ^ (crc >> 8)] ^ t[6][byte_at(data, i + 1) ^ (crc & 0xFF)] ^
              t[5][byte_at(data, i + 2)] ^ t[4][byte_at(data, i + 3)] ^ t[3][byte_at(data, i + 4)] ^
              t[2][byte_at(data, i + 5)] ^ t[1][byte_at(data, i + 6)] ^ t[0][byte_at(data, i + 7)];
    }
    for (; i < data.size(); ++i) crc = ((crc << 8) ^ t[0][((crc >> 8) ^ byte_at(data, i)) & 0xFF]) & 0xFFFF;
    return static_cast<std::uint16_t>(crc);
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
