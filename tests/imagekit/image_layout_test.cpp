// The kit's ISO 9660 layout, byte by byte, for the three kinds.
#include <gtest/gtest.h>

#include <string>

#include "common/endian.h"
#include "common/iso9660_layout.h"
#include "common/sector.h"
#include "imagekit/file_content.h"
#include "imagekit/kit_fixtures.h"

namespace isorelink {
namespace {

using test::sample_recipe;

std::string text_at(const std::vector<std::byte>& image, std::uint64_t offset, std::size_t length) {
    std::string text;
    for (std::size_t i = 0; i < length; ++i) text += static_cast<char>(image[offset + i]);
    return text;
}

class EveryKind : public ::testing::TestWithParam<ImageKind> {};

TEST_P(EveryKind, VolumeDescriptorsCarryTheKindSignatures) {
    std::vector<std::byte> image;
    const auto built = test::built_image(sample_recipe(GetParam()), image);
    const ByteView pvd = ByteView(image).subspan(iso::kPrimaryDescriptorOffset, kSectorSize);
    for (std::size_t i = 0; i < iso::kPrimaryDescriptorOffset; ++i) ASSERT_EQ(image[i], std::byte{0}) << i;
    EXPECT_EQ(text_at(image, iso::kPrimaryDescriptorOffset, 6), "\1CD001");
    EXPECT_EQ(text_at(image, 17 * 2048, 6), "\xFF" "CD001");
    const bool psp = GetParam() == ImageKind::PspUmd;
    EXPECT_EQ(text_at(image, iso::kPrimaryDescriptorOffset + iso::pvd::kSystemId, 32),
              psp ? "PSP GAME                        " : "PLAYSTATION                     ");
    if (GetParam() == ImageKind::Ps2Dvd) {
        EXPECT_EQ(image[iso::kApplicationByteOffset], std::byte{0});
    } else {
        EXPECT_EQ(text_at(image, iso::kApplicationByteOffset, 8), "CD-XA001");
    }
    EXPECT_EQ(both32(pvd, iso::pvd::kVolumeSpaceSize), image.size() / kSectorSize);
    EXPECT_EQ(built.sector_count, image.size() / kSectorSize);
    for (std::size_t field : {iso::pvd::kVolumeSpaceSize, iso::pvd::kPathTableSize})
        EXPECT_TRUE(both32_agree(pvd, field)) << field;
    EXPECT_EQ(le32(pvd, iso::pvd::kTypeLPathTable), built.path_table_sector);
    EXPECT_EQ(le32(pvd, iso::pvd::kOptionalTypeLPathTable), built.path_table_sector + 1);
    EXPECT_EQ(be32(pvd, iso::pvd::kTypeMPathTable), built.path_table_sector + 2);
    EXPECT_EQ(le32(pvd, iso::pvd::kPathTableSize), built.path_table_size);
    if (GetParam() == ImageKind::Ps2Dvd) {
        EXPECT_EQ(built.path_table_sector, 257u);
    }
}

TEST_P(EveryKind, ReportedExtentsMatchTheirRecordsAndContents) {
    const auto recipe = sample_recipe(GetParam());
    std::vector<std::byte> image;
    const auto built = test::built_image(recipe, image);
    ASSERT_EQ(built.extents.size(), recipe.files.size());
    std::uint32_t previous = 0;
    for (const auto& extent : built.extents) {
        EXPECT_GE(extent.sector, previous);
        previous = extent.sector;
        EXPECT_GE(extent.sector, built.data_start_sector);
        const ByteView record = ByteView(image).subspan(extent.record_offset, 255);
        // Records never cross a sector boundary.
        EXPECT_LE(extent.record_offset % kSectorSize + u8(record, iso::dr::kLength), kSectorSize);
        EXPECT_EQ(both32(record, iso::dr::kExtent), extent.sector);
        EXPECT_TRUE(both32_agree(record, iso::dr::kExtent));
        EXPECT_EQ(both32(record, iso::dr::kDataLength), extent.size);
        EXPECT_EQ(u8(record, iso::dr::kFlags), extent.flags);
        const std::string name = extent.iso_path.substr(extent.iso_path.rfind('\\') + 1) + ";1";
        EXPECT_EQ(text_at(image, extent.record_offset + iso::dr::kIdentifier, name.size()), name);
        const auto expected = kit::file_content(recipe.files[extent.file_index]);
        const std::vector<std::byte> stored(image.begin() + sector_offset(extent.sector),
                                            image.begin() + sector_offset(extent.sector) + extent.size);
        EXPECT_EQ(stored, expected) << extent.iso_path;
    }
    EXPECT_EQ(built.directories.front().path, "");
    EXPECT_EQ(built.directories[1].path, "\\DATA");
    EXPECT_EQ(built.directories[2].path, "\\DATA\\SOUND");
}

INSTANTIATE_TEST_SUITE_P(Kit, EveryKind, test::kEveryKind, [](const auto& info) { return test::kind_name(info.param); });

} // namespace
} // namespace isorelink
