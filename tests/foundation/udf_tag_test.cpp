#include "common/udf_tag.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "common/udf_layout.h"

namespace {

using namespace isorelink;

TEST(UdfTag, CrcMatchesTheKnownAnchorConstant) {
    // An anchor's bytes 16-2047 are the same in every anchor we write: their
    // CRC is the constant 0xB51E.
    std::vector<std::byte> anchor(2048);
    put_le32(anchor, udf::avdp::kMainSequenceLength, udf::avdp::kSequenceLength);
    put_le32(anchor, udf::avdp::kMainSequenceLocation, udf::avdp::kMainSequenceSector);
    put_le32(anchor, udf::avdp::kReserveSequenceLength, udf::avdp::kSequenceLength);
    put_le32(anchor, udf::avdp::kReserveSequenceLocation, udf::avdp::kReserveSequenceSector);
    EXPECT_EQ(udf::crc_itu_t(ByteView(anchor).subspan(16)), udf::avdp::kCrc);
    // The standard's check value of CRC-ITU-T (XMODEM): "123456789" -> 0x31C3.
    const char* text = "123456789";
    EXPECT_EQ(udf::crc_itu_t(std::as_bytes(std::span(text, 9))), 0x31C3);
}

// The polynomial applied bit by bit, as the standard defines it.
std::uint16_t crc_bit_by_bit(ByteView data) {
    unsigned crc = 0;
    for (const std::byte b : data) {
        crc ^= std::to_integer<unsigned>(b) << 8;
        for (int bit = 0; bit < 8; ++bit) crc = ((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1) & 0xFFFF;
    }
    return static_cast<std::uint16_t>(crc);
}

TEST(UdfTag, CrcFoldsEightBytesAtATimeAsTheBitwiseDefinition) {
    // Every length around the eight-byte steps, at every start within a step.
    std::vector<std::byte> data(64 + 300);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::byte>((i * 151 + 7) ^ (i >> 3));
    for (std::size_t start = 0; start < 8; ++start) {
        for (std::size_t length = 0; length <= data.size() - start; length += (length < 40 ? 1 : 37)) {
            const ByteView part = ByteView(data).subspan(start, length);
            EXPECT_EQ(udf::crc_itu_t(part), crc_bit_by_bit(part)) << start << " " << length;
        }
    }
}

TEST(UdfTag, SealedTagIsValidAndAnyCoveredByteBreaksIt) {
    std::vector<std::byte> fe(2048);
    put_le16(fe, udf::tag::kIdentifier, udf::kFileEntry);
    put_le16(fe, udf::tag::kVersion, 2);
    put_le32(fe, udf::tag::kLocation, 1234);
    put_le32(fe, udf::fe::kShortAllocationDescriptor, 4096);
    udf::seal_tag(fe, 300);
    EXPECT_TRUE(udf::tag_is_valid(fe));
    fe[udf::fe::kShortAllocationDescriptor] = std::byte{1};  // inside the CRC
    EXPECT_FALSE(udf::tag_is_valid(fe));
    udf::reseal_tag(fe);
    EXPECT_TRUE(udf::tag_is_valid(fe));
    fe[udf::tag::kLocation] = std::byte{9};  // inside the checksum
    EXPECT_FALSE(udf::tag_is_valid(fe));
    // A CRC length running past the buffer is invalid, not a read overrun.
    put_le16(fe, udf::tag::kCrcLength, 4000);
    EXPECT_FALSE(udf::tag_is_valid(fe));
}

} // namespace
