#include <gtest/gtest.h>

#include "format/endian.h"
#include "format/udf/layout.h"
#include "format/udf/tag.h"
#include "rebuild/volume_end.h"
#include "rebuild_folder.h"

namespace isorelink::test {
namespace {

TEST_F(RebuildFolder, DvdGainsPostGapAnchorSizeAndPartitionLength) {
    const std::uint64_t bytes = 1000 * 2048 + 100;
    const std::uint32_t sectors = 1150;
    build({.kind = ImageKind::Ps2Dvd, .size = bytes, .volume_sectors = 1200, .partition_length = 742});
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

} // namespace
} // namespace isorelink::test
