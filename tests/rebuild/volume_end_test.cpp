#include <gtest/gtest.h>

#include <tuple>

#include "common/endian.h"
#include "common/udf_layout.h"
#include "common/udf_tag.h"
#include "rebuild/hand_image.h"
#include "rebuild/partition_start.h"
#include "rebuild/volume_end.h"

namespace isorelink::test {
namespace {

class VolumeEnd : public RebuildFolder {};

TEST_F(VolumeEnd, DvdGainsPostGapAnchorSizeAndPartitionLength) {
    struct Case { std::uint64_t bytes; std::uint32_t recorded, sectors; const char* size_field; };
    for (const auto& c : {Case{1000000ull * 2048, 1200000, 1000150, "D6 42 0F 00 00 0F 42 D6"},
                          Case{1000 * 2048 + 100, 1200, 1150, "7E 04 00 00 00 00 04 7E"}}) {
        write_hand_image(image(), HandImage{ImageKind::Ps2Dvd, c.bytes, c.recorded, 257, 742, {}});
        put_bytes(image(), c.bytes / 2048 * 2048, std::vector<std::byte>(c.bytes % 2048, std::byte{0x5A}));
        ASSERT_EQ(failure(finish_volume(ImageKind::Ps2Dvd, image(), 257)), "");
        EXPECT_EQ(length_of(image()), std::uint64_t{c.sectors} * 2048);
        EXPECT_EQ(bytes_at(image(), c.bytes / 2048 * 2048, c.bytes % 2048), std::vector<std::byte>(c.bytes % 2048));
        EXPECT_EQ(bytes_at(image(), c.bytes, 7), text_bytes("postgap"));
        EXPECT_EQ(bytes_at(image(), 32848, 8), hex_bytes(c.size_field));
        const auto anchor = bytes_at(image(), std::uint64_t{c.sectors - 1} * 2048, 2048);
        EXPECT_EQ(le16(anchor, udf::tag::kIdentifier), udf::kAnchorVolumeDescriptorPointer);
        EXPECT_TRUE(udf::tag_is_valid(anchor));
        for (std::uint64_t sector : {34u, 50u}) {
            const auto pd = bytes_at(image(), sector * 2048, 2048);
            EXPECT_EQ(le32(pd, udf::pd::kLength), c.sectors - 1 - 257) << sector;
            EXPECT_TRUE(udf::tag_is_valid(pd)) << sector;
        }
        const auto tail = bytes_at(image(), c.bytes / 2048 * 2048, 151 * 2048);
        ASSERT_TRUE(finish_volume(ImageKind::Ps2Dvd, image(), 257));  // a second run changes nothing
        EXPECT_TRUE(bytes_at(image(), c.bytes / 2048 * 2048, 151 * 2048) == tail);
    }
}

TEST_F(VolumeEnd, PspRecordsWholeSectorsAndKeepsItsPartialSector) {
    write_hand_image(image(), plain(ImageKind::PspUmd, 500 * 2048 + 700, 9));
    put_bytes(image(), 500 * 2048, std::vector<std::byte>(700, std::byte{0x77}));
    ASSERT_TRUE(finish_volume(ImageKind::PspUmd, image(), 0));
    EXPECT_EQ(length_of(image()), 500u * 2048 + 700);
    EXPECT_EQ(bytes_at(image(), 32848, 8), hex_bytes("F4 01 00 00 00 00 01 F4"));
    EXPECT_EQ(bytes_at(image(), 500 * 2048, 700), std::vector<std::byte>(700, std::byte{0x77}));
}

TEST_F(VolumeEnd, PartitionStartIsTheFirstCharsetOnTheGridWhereverItLies) {
    const std::uint64_t odd = 4 * 1024 * 1024 + 2048 * 7 + 64;
    const std::tuple<std::uint64_t, std::uint64_t, std::uint32_t> cases[] = {  // size, charset at, start
        {5 * 1024 * 1024 + 123, 3 * 1024 * 1024 + 48, 3 * 512},                // beyond the first block
        {odd, odd - 16, static_cast<std::uint32_t>((odd - 16 - 48) / 2048)},  // the last 16 bytes
    };
    for (const auto& [size, at, start] : cases) {
        write_hand_image(image(), plain(ImageKind::PspUmd, size, 1));
        put_bytes(image(), at, text_bytes(std::string_view("\0OSTA Compressed", 16)));
        auto file = File::open(image(), "rb");
        auto p = find_partition_start(*file, image());
        EXPECT_EQ(p ? *p : 0u, start) << size;
    }
}

} // namespace
} // namespace isorelink::test
