#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <utility>

#include "format/endian.h"
#include "format/iso9660/layout.h"
#include "format/sector.h"
#include "support/kit_fixtures.h"

namespace isorelink {
namespace {

bool bytes_at(const std::vector<std::byte>& image, std::uint64_t at, std::string_view expected) {
    return at + expected.size() <= image.size() &&
           std::memcmp(image.data() + at, expected.data(), expected.size()) == 0;
}

class EveryKind : public ::testing::TestWithParam<ImageKind> {};

TEST_P(EveryKind, VolumeDescriptorsCarryTheKindSignatures) {
    std::vector<std::byte> image;
    const auto built = kit::build_image(test::knobs_recipe(GetParam()), image);
    ASSERT_TRUE(built.ok()) << built.error().message;
    const ByteView pvd = ByteView(image).subspan(iso::kPrimaryDescriptorOffset, kSectorSize);
    EXPECT_TRUE(bytes_at(image, 0, std::string(16 * 2048, '\0') + "\1CD001"));
    EXPECT_TRUE(bytes_at(image, 32776, GetParam() == ImageKind::PspUmd ? "PSP GAME   " : "PLAYSTATION"));
    EXPECT_TRUE(bytes_at(image, 33792, GetParam() == ImageKind::Ps2Dvd ? std::string(8, '\0') : "CD-XA001"));
    EXPECT_EQ(both32(pvd, iso::pvd::kVolumeSpaceSize), image.size() / kSectorSize);
    EXPECT_TRUE(both32_agree(pvd, iso::pvd::kVolumeSpaceSize) && both32_agree(pvd, iso::pvd::kPathTableSize));
    const std::uint32_t t = built->path_table_sector;
    EXPECT_EQ((std::array{le32(pvd, 132), le32(pvd, 140), le32(pvd, 144), be32(pvd, 148)}),
              (std::array{built->path_table_size, t, t + 1, t + 2}));
    EXPECT_TRUE(GetParam() != ImageKind::Ps2Dvd || built->path_table_sector == 257u);
}

INSTANTIATE_TEST_SUITE_P(Kit, EveryKind, test::kEveryKind, test::kind_param_name);

TEST(UdfBridge, GeneratorMarkersAndFileEntriesInTheChosenOrder) {
    auto recipe = test::knobs_recipe(ImageKind::Ps2Dvd);
    recipe.entry_order = kit::EntryOrder::ReverseDataOrder;
    std::vector<std::byte> image;
    const auto built = kit::build_image(recipe, image);
    ASSERT_TRUE(built.ok()) << built.error().message;
    EXPECT_TRUE(bytes_at(image, 65924, std::string_view("\0DVD-ROM GENERATOR", 18)));
    std::uint64_t previous_entry = image.size();
    for (const auto& e : built->extents) {
        EXPECT_TRUE(bytes_at(image, e.entry_offset + 128, std::string_view("\0DVD-ROM GENERAT", 16)));
        EXPECT_TRUE(bytes_at(image, e.entry_offset + 288, std::string_view("\0\0\0\0\2\1\0\0\0\0\0\0\x49\5\0\0", 16)));
        EXPECT_EQ(le32(image, e.descriptor_offset), e.size) << e.listing_path;
        EXPECT_EQ(le32(image, e.descriptor_offset + 4), e.sector - built->partition_start) << e.listing_path;
        if (e.size == 0) continue;  // empty files share a sector in walk order
        EXPECT_LE(e.entry_offset, std::exchange(previous_entry, e.entry_offset))
            << "File Entries in reverse data order";
    }
}

} // namespace
} // namespace isorelink
