// The bytes every reader starts from, for the three kinds.
#include <gtest/gtest.h>

#include "common/endian.h"
#include "common/iso9660_layout.h"
#include "common/sector.h"
#include "imagekit/kit_fixtures.h"

namespace isorelink {
namespace {

std::string text_at(const std::vector<std::byte>& image, std::uint64_t offset, std::size_t length) {
    return std::string(reinterpret_cast<const char*>(image.data()) + offset, length);
}

class EveryKind : public ::testing::TestWithParam<ImageKind> {};

TEST_P(EveryKind, VolumeDescriptorsCarryTheKindSignatures) {
    std::vector<std::byte> image;
    const auto built = test::built_image(test::sample_recipe(GetParam()), image);
    const ByteView pvd = ByteView(image).subspan(iso::kPrimaryDescriptorOffset, kSectorSize);
    EXPECT_EQ(text_at(image, 0, 16 * 2048), std::string(16 * 2048, '\0'));
    EXPECT_EQ(text_at(image, 16 * 2048, 6), "\1CD001");
    EXPECT_EQ(text_at(image, 17 * 2048, 6), "\xFF" "CD001");
    EXPECT_EQ(text_at(image, 32776, 11), GetParam() == ImageKind::PspUmd ? "PSP GAME   " : "PLAYSTATION");
    EXPECT_EQ(text_at(image, 33792, 8), GetParam() == ImageKind::Ps2Dvd ? std::string(8, '\0') : "CD-XA001");
    EXPECT_EQ(both32(pvd, iso::pvd::kVolumeSpaceSize), image.size() / kSectorSize);
    EXPECT_EQ(built.sector_count, image.size() / kSectorSize);
    EXPECT_TRUE(both32_agree(pvd, iso::pvd::kVolumeSpaceSize) && both32_agree(pvd, iso::pvd::kPathTableSize));
    EXPECT_EQ(le32(pvd, 140), built.path_table_sector);
    EXPECT_EQ(le32(pvd, 144), built.path_table_sector + 1);
    EXPECT_EQ(be32(pvd, 148), built.path_table_sector + 2);
    EXPECT_EQ(le32(pvd, 132), built.path_table_size);
    EXPECT_TRUE(GetParam() != ImageKind::Ps2Dvd || built.path_table_sector == 257u);
}

INSTANTIATE_TEST_SUITE_P(Kit, EveryKind, test::kEveryKind,
                         [](const auto& info) { return test::kind_name(info.param); });

} // namespace
} // namespace isorelink
