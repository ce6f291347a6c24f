// The descriptor anchor, the data start sector and the partition start.
#include <gtest/gtest.h>

#include <algorithm>

#include "format/sector.h"
#include "format/udf/layout.h"
#include "read/data_start_scan.h"
#include "read/descriptor_anchor_scan.h"
#include "read/partition_start_scan.h"
#include "support/hand_image.h"
#include "support/test_support.h"

namespace isorelink {
namespace {

using test::put_file_entry;

class UdfScan : public ::testing::Test {
protected:
    // Small windows so that matches straddle refills too.
    ImageWindow& window(const std::vector<std::byte>& bytes) {
        test::write_bytes(dir.file("u.iso"), bytes);
        file = std::move(*File::open(dir.file("u.iso"), "rb"));
        image.emplace(file, bytes.size(), 4096);
        return *image;
    }
    test::ScratchDir dir;
    File file;
    std::optional<ImageWindow> image;
};

// The File Entry at sector 30 must be found behind every decoy.
TEST_F(UdfScan, AnchorSkipsDecoys) {
    std::vector<std::byte> bytes(sector_offset(40));
    put_file_entry(bytes, 30, 9, 9);
    put_file_entry(bytes, 28, 7, 2);  // directories' entries: extents before the first entry's tag location
    put_file_entry(bytes, 29, 8, 3);
    // a lone identifier marker; a complete entry off the grid
    std::copy(kIdentifierMarker.begin(), kIdentifierMarker.end(), &bytes[sector_offset(20) + 128]);
    std::copy(kIdentifierMarker.begin(), kIdentifierMarker.end(), &bytes[sector_offset(25) + 8 + 128]);
    std::copy(kAttributeMarker.begin(), kAttributeMarker.end(), &bytes[sector_offset(25) + 8 + 288]);
    auto found = find_descriptor_anchor(window(bytes), "img");
    ASSERT_TRUE(found);
    EXPECT_EQ(*found, sector_offset(30) + udf::fe::kShortAllocationDescriptor);
}

TEST_F(UdfScan, DataStartIsTheSectorAfterTheLastFileEntry) {
    std::vector<std::byte> bytes(sector_offset(300));
    for (std::uint32_t s = 283; s <= 290; ++s) put_le32(bytes, sector_offset(s), udf::kFileEntryTagWord);
    EXPECT_EQ(*data_start_sector(ImageKind::Ps2Dvd, window(bytes), 280, "img"), 291u);
    // A run that reaches the image's end (a dump trimmed after its entries) ends there.
    for (std::uint32_t s = 291; s < 300; ++s) put_le32(bytes, sector_offset(s), udf::kFileEntryTagWord);
    EXPECT_EQ(*data_start_sector(ImageKind::Ps2Dvd, window(bytes), 280, "img"), 300u);
    // No File Entry at or after the header at all.
    auto none = data_start_sector(ImageKind::Ps2Dvd, window(bytes), 300, "img");
    ASSERT_FALSE(none);
    EXPECT_EQ(none.error().message, "Code 1106 - invalid volume structure img (no UDF data start found)");
}

TEST_F(UdfScan, PartitionStartIsFoundInTheLastSixteenBytesBeyondTheFirstBlock) {
    const std::uint64_t size = 4 * 1024 * 1024 + 2048 * 7 + 64;
    const std::string path = dir.file("p.iso");
    test::HandImage{.kind = ImageKind::PspUmd, .size = size, .volume_sectors = 1}.write(path);
    test::put_bytes(path, size - 16, test::text_bytes(std::string_view("\0OSTA Compressed", 16)));
    auto opened = File::open(path, "rb");
    auto p = find_partition_start(*opened, path);
    EXPECT_EQ(p ? *p : 0u, (size - 16 - 48) / 2048);
}

} // namespace
} // namespace isorelink
