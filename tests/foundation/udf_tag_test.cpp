#include "format/udf/tag.h"

#include <gtest/gtest.h>

#include "format/udf/layout.h"

namespace {

using namespace isorelink;

std::uint16_t crc_bit_by_bit(ByteView data) {
    unsigned crc = 0;
    for (const std::byte b : data) {
        crc ^= std::to_integer<unsigned>(b) << 8;
        for (int bit = 0; bit < 8; ++bit) crc = ((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1) & 0xFFFF;
    }
    return static_cast<std::uint16_t>(crc);
}

TEST(UdfTag, CrcAgreesWithTheBitwiseDefinitionAtEveryLengthAndAlignment) {
    EXPECT_EQ(udf::crc_itu_t(std::as_bytes(std::span("123456789", 9))), 0x31C3);
    // Every length up to 300 and on to a whole sector reaches each folding step and the table tail.
    std::vector<std::byte> data(2048 + 16);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::byte>((i * 151 + 7) ^ (i >> 3));
    for (std::size_t start = 0; start < 16; start += 5)
        for (std::size_t length = 0; length <= 2048; length += (length < 300 ? 1 : 61)) {
            const ByteView part = ByteView(data).subspan(start, length);
            const std::uint16_t expected = crc_bit_by_bit(part);
            ASSERT_EQ(udf::crc_itu_t(part), expected) << start << " " << length;
            ASSERT_EQ(udf::crc_itu_t_by_tables(part), expected) << start << " " << length;
        }
}

TEST(UdfTag, CrcLengthPastTheBufferIsInvalidWithoutOverrun) {
    std::vector<std::byte> fe(2048);
    put_le16(fe, udf::tag::kIdentifier, udf::kFileEntry);
    udf::seal_tag(fe, 300);
    put_le16(fe, udf::tag::kCrcLength, 4000);
    put_u8(fe, udf::tag::kChecksum, udf::tag_checksum(fe));  // only the length is wrong
    EXPECT_FALSE(udf::tag_is_valid(fe));
}

} // namespace
