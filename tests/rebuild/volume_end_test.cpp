// The end step per kind, on sparse images: post-gap, marker, end anchor,
// volume size and the partition's length.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/endian.h"
#include "common/udf_layout.h"
#include "common/udf_tag.h"
#include "rebuild/hand_image.h"
#include "rebuild/volume_end.h"
#include "support/test_support.h"

namespace isorelink::test {
namespace {

std::vector<std::byte> both(std::uint32_t v) {
    std::vector<std::byte> b(8);
    put_both32(b, 0, v);
    return b;
}

std::vector<std::byte> text(std::string_view s) {
    std::vector<std::byte> b;
    for (char c : s) b.push_back(static_cast<std::byte>(c));
    return b;
}

void expect_end_anchor(const std::string& path, std::uint64_t sector) {
    const auto anchor = bytes_at(path, sector * 2048, 2048);
    ASSERT_EQ(anchor.size(), 2048u);
    EXPECT_EQ(le16(anchor, udf::tag::kIdentifier), udf::kAnchorVolumeDescriptorPointer);
    EXPECT_EQ(le16(anchor, udf::tag::kCrc), 0xB51E);
    EXPECT_EQ(le16(anchor, udf::tag::kCrcLength), 2032);
    EXPECT_EQ(le32(anchor, udf::tag::kLocation), static_cast<std::uint32_t>(sector));
    EXPECT_EQ(le32(anchor, udf::avdp::kMainSequenceLocation), 32u);
    EXPECT_EQ(le32(anchor, udf::avdp::kReserveSequenceLocation), 48u);
    EXPECT_TRUE(udf::tag_is_valid(anchor)) << "checksum " << int(u8(anchor, udf::tag::kChecksum));
}

class VolumeEndTest : public ::testing::Test {
protected:
    std::string image() const { return dir.file("NEW-GAME.ISO"); }
    ScratchDir dir;
};

TEST_F(VolumeEndTest, DvdOfAMillionSectorsRecordingMore) {
    write_hand_image(image(), HandImage{ImageKind::Ps2Dvd, 1000000ull * 2048, 1200000, 257, 999742, {}});
    auto end = finish_volume(ImageKind::Ps2Dvd, image(), 257);
    ASSERT_TRUE(end) << end.error().message;
    EXPECT_EQ(length_of(image()), 1000150ull * 2048);
    EXPECT_EQ(end->volume_size, 1000150u);
    EXPECT_EQ(bytes_at(image(), 2048000000ull, 7), text("postgap"));
    expect_end_anchor(image(), 1000149);
    EXPECT_EQ(bytes_at(image(), 32848, 8), both(1000150));
    // The partition now runs up to the sector before the end anchor, in both sequences.
    for (std::uint64_t sector : {34u, 50u}) {
        const auto pd = bytes_at(image(), sector * 2048, 2048);
        EXPECT_EQ(le32(pd, udf::pd::kLength), 1000150u - 1 - 257) << sector;
        EXPECT_TRUE(udf::tag_is_valid(pd)) << sector;
    }
    // A second run finds size and length agreeing and changes nothing (the
    // places it could write, rather than 2 GB of holes, are compared).
    const auto places = [&] {
        return std::vector{bytes_at(image(), 16 * 2048, 2048), bytes_at(image(), 32 * 2048, 32 * 2048),
                           bytes_at(image(), 1000000ull * 2048, 151 * 2048)};
    };
    const auto before = places();
    auto again = finish_volume(ImageKind::Ps2Dvd, image(), 257);
    ASSERT_TRUE(again);
    EXPECT_FALSE(again->changed);
    EXPECT_EQ(length_of(image()), 1000150ull * 2048);
    EXPECT_TRUE(places() == before);
}

TEST_F(VolumeEndTest, DvdWithAPartialSector) {
    write_hand_image(image(), HandImage{ImageKind::Ps2Dvd, 1000 * 2048 + 100, 1200, 257, 742, {}});
    put_bytes(image(), 1000 * 2048, std::vector<std::byte>(100, std::byte{0x5A}));
    auto end = finish_volume(ImageKind::Ps2Dvd, image(), 257);
    ASSERT_TRUE(end);
    EXPECT_EQ(length_of(image()), 1150u * 2048);
    // The partial sector's bytes are zero now, "postgap" stands at the old length.
    EXPECT_EQ(bytes_at(image(), 1000 * 2048, 100), std::vector<std::byte>(100));
    EXPECT_EQ(bytes_at(image(), 2048100, 7), text("postgap"));
    expect_end_anchor(image(), 1149);
    EXPECT_EQ(bytes_at(image(), 32848, 8), both(1150));
}

TEST_F(VolumeEndTest, DvdRecordingItsLengthIsLeftAlone) {
    write_hand_image(image(), HandImage{ImageKind::Ps2Dvd, 1100 * 2048, 1100, 257, 842, {}});
    const auto before = fingerprint(image());
    auto end = finish_volume(ImageKind::Ps2Dvd, image(), 257);
    ASSERT_TRUE(end);
    EXPECT_FALSE(end->changed);
    EXPECT_EQ(fingerprint(image()), before);
}

TEST_F(VolumeEndTest, DvdPartitionDescriptorsThatAreNotSoundStayAsTheyAre) {
    write_hand_image(image(), HandImage{ImageKind::Ps2Dvd, 1000 * 2048, 1, 257, 742, {}});
    put_bytes(image(), 34 * 2048 + 300, hex_bytes("FF"));  // main copy: CRC no longer matches
    const auto main_before = bytes_at(image(), 34 * 2048, 2048);
    ASSERT_TRUE(finish_volume(ImageKind::Ps2Dvd, image(), 257));
    EXPECT_EQ(bytes_at(image(), 34 * 2048, 2048), main_before);
    EXPECT_EQ(le32(bytes_at(image(), 50 * 2048, 2048), udf::pd::kLength), 1150u - 1 - 257);
    // A descriptor of another partition start is not ours to change either.
    auto other = bytes_at(image(), 50 * 2048, 2048);
    write_hand_image(image(), HandImage{ImageKind::Ps2Dvd, 1000 * 2048, 1, 300, 700, {}});
    const auto reserve_before = bytes_at(image(), 50 * 2048, 2048);
    ASSERT_TRUE(finish_volume(ImageKind::Ps2Dvd, image(), 257));
    EXPECT_EQ(bytes_at(image(), 50 * 2048, 2048), reserve_before);
}

TEST_F(VolumeEndTest, CdGrowsByAPostGapOnEveryRun) {
    write_hand_image(image(), plain_image(ImageKind::Ps2Cd, 300 * 2048, 300));
    for (std::uint32_t run = 1; run <= 2; ++run) {
        auto end = finish_volume(ImageKind::Ps2Cd, image(), 0);
        ASSERT_TRUE(end);
        const std::uint64_t sectors = 300 + 150 * run;
        EXPECT_EQ(length_of(image()), sectors * 2048);
        EXPECT_EQ(bytes_at(image(), sectors * 2048 - 7, 7), text("postgap"));
        EXPECT_EQ(bytes_at(image(), 32848, 8), both(static_cast<std::uint32_t>(sectors)));
    }
}

TEST_F(VolumeEndTest, PspRecordsWholeSectorsAndKeepsItsPartialSector) {
    write_hand_image(image(), plain_image(ImageKind::PspUmd, 500 * 2048 + 700, 9));
    put_bytes(image(), 500 * 2048, std::vector<std::byte>(700, std::byte{0x77}));
    auto end = finish_volume(ImageKind::PspUmd, image(), 0);
    ASSERT_TRUE(end);
    EXPECT_EQ(length_of(image()), 500u * 2048 + 700);
    EXPECT_EQ(bytes_at(image(), 32848, 8), both(500));
    EXPECT_EQ(bytes_at(image(), 500 * 2048, 700), std::vector<std::byte>(700, std::byte{0x77}));
}

} // namespace
} // namespace isorelink::test
