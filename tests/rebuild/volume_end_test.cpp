#include <gtest/gtest.h>

#include "format/endian.h"
#include "format/udf/layout.h"
#include "format/udf/tag.h"
#include "rebuild/hand_image.h"
#include "read/partition_start_scan.h"
#include "rebuild/volume_end.h"

namespace isorelink::test {
namespace {

TEST_F(RebuildFolder, DvdGainsPostGapAnchorSizeAndPartitionLength) {
    const std::uint64_t bytes = 1000 * 2048 + 100;
    const std::uint32_t sectors = 1150;
    write_hand_image(image(), HandImage{ImageKind::Ps2Dvd, bytes, 1200, 257, 742, {}});
    put_bytes(image(), 1000 * 2048, std::vector<std::byte>(100, std::byte{0x5A}));
    ASSERT_EQ(failure(finish_volume(ImageKind::Ps2Dvd, image(), 257)), "");
    EXPECT_EQ(std::filesystem::file_size(image()), std::uint64_t{sectors} * 2048);
    EXPECT_EQ(bytes_at(image(), 1000 * 2048, 100), std::vector<std::byte>(100));
    EXPECT_EQ(bytes_at(image(), bytes, 7), text_bytes("postgap"));
    EXPECT_EQ(bytes_at(image(), 32848, 8), hex_bytes("7E 04 00 00 00 00 04 7E"));
    const auto anchor = bytes_at(image(), std::uint64_t{sectors - 1} * 2048, 2048);
    EXPECT_EQ(le16(anchor, udf::tag::kIdentifier), udf::kAnchorVolumeDescriptorPointer);
    EXPECT_TRUE(udf::tag_is_valid(anchor));
    for (std::uint64_t sector : {34u, 50u}) {
        const auto pd = bytes_at(image(), sector * 2048, 2048);
        EXPECT_EQ(le32(pd, udf::pd::kLength), sectors - 1 - 257) << sector;
        EXPECT_TRUE(udf::tag_is_valid(pd)) << sector;
    }
}

TEST_F(RebuildFolder, PartitionStartIsFoundInTheLastSixteenBytesBeyondTheFirstBlock) {
    const std::uint64_t size = 4 * 1024 * 1024 + 2048 * 7 + 64;
    write_hand_image(image(), HandImage{ImageKind::PspUmd, size, 1});
    put_bytes(image(), size - 16, text_bytes(std::string_view("\0OSTA Compressed", 16)));
    auto file = File::open(image(), "rb");
    auto p = find_partition_start(*file, image());
    EXPECT_EQ(p ? *p : 0u, (size - 16 - 48) / 2048);
}

} // namespace
} // namespace isorelink::test
