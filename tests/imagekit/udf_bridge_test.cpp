// The PS2 DVD's UDF bridge: where every descriptor lies, that every tag is
// sealed, and that the File Entries sit where the extraction looks for them.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "common/endian.h"
#include "common/iso9660_layout.h"
#include "common/sector.h"
#include "common/udf_layout.h"
#include "common/udf_tag.h"
#include "imagekit/image_builder.h"
#include "imagekit/kit_fixtures.h"

namespace isorelink {
namespace {

constexpr std::array<std::uint8_t, 16> kIdentifierMarker = {0x00, 'D', 'V', 'D', '-', 'R', 'O', 'M',
                                                            ' ',  'G', 'E', 'N', 'E', 'R', 'A', 'T'};
constexpr std::array<std::uint8_t, 16> kAttributeMarker = {0, 0, 0, 0, 2, 1, 0, 0, 0, 0, 0, 0, 0x49, 0x05, 0, 0};

bool block_is(const std::vector<std::byte>& image, std::uint64_t at, const std::array<std::uint8_t, 16>& marker) {
    return at + 16 <= image.size() && std::memcmp(image.data() + at, marker.data(), 16) == 0;
}

ByteView sector(const std::vector<std::byte>& image, std::uint64_t lsn) {
    return ByteView(image).subspan(sector_offset(lsn), kSectorSize);
}

struct DvdImage {
    kit::ImageRecipe recipe;
    std::vector<std::byte> bytes;
    kit::BuiltImage built;
};

DvdImage build_dvd(kit::ImageRecipe recipe) {
    DvdImage image{std::move(recipe), {}, {}};
    image.built = test::built_image(image.recipe, image.bytes);
    return image;
}

TEST(UdfBridge, DescriptorsLieWhereTheReadersLook) {
    const auto dvd = build_dvd(test::sample_recipe(ImageKind::Ps2Dvd));
    const auto& image = dvd.bytes;
    const std::uint32_t n = dvd.built.sector_count;
    EXPECT_EQ(image[iso::kApplicationByteOffset], std::byte{0});
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(image.data()) + udf::kDvdSignatureOffset - 1, 18),
              std::string("\0DVD-ROM GENERATOR", 18));
    const char* recognition[] = {"BEA01", "NSR02", "TEA01"};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(std::memcmp(image.data() + sector_offset(18 + i) + 1, recognition[i], 5), 0) << recognition[i];

    const std::pair<std::uint32_t, std::uint16_t> tags[] = {
        {32, udf::kPrimaryVolumeDescriptor}, {33, udf::kImplementationUseVolumeDescriptor},
        {34, udf::kPartitionDescriptor},     {35, udf::kLogicalVolumeDescriptor},
        {36, udf::kUnallocatedSpaceDescriptor}, {37, udf::kTerminatingDescriptor},
        {48, udf::kPrimaryVolumeDescriptor}, {53, udf::kTerminatingDescriptor},
        {64, udf::kLogicalVolumeIntegrityDescriptor}, {65, udf::kTerminatingDescriptor},
        {256, udf::kAnchorVolumeDescriptorPointer}, {n - 1, udf::kAnchorVolumeDescriptorPointer}};
    for (const auto& [lsn, id] : tags) {
        const auto s = sector(image, lsn);
        EXPECT_EQ(le16(s, udf::tag::kIdentifier), id) << lsn;
        EXPECT_EQ(le32(s, udf::tag::kLocation), lsn) << lsn;
        EXPECT_TRUE(udf::tag_is_valid(s)) << lsn;
    }
    EXPECT_EQ(le16(sector(image, 256), udf::tag::kCrc), udf::avdp::kCrc);
    const auto pd = sector(image, 34);
    const std::uint32_t p = dvd.built.partition_start;
    EXPECT_EQ(le32(pd, udf::pd::kStartingLocation), p);
    EXPECT_EQ(le32(pd, udf::pd::kLength), n - 1 - p);
    // The partition starts right after the ISO directories.
    EXPECT_EQ(p, dvd.built.directories.back().sector + dvd.built.directories.back().size / kSectorSize);
    EXPECT_EQ(le16(sector(image, p), udf::tag::kIdentifier), udf::kFileSetDescriptor);
    EXPECT_EQ(le32(sector(image, p), udf::tag::kLocation), 0u);
    EXPECT_EQ(u8(sector(image, p), udf::fsd::kLogicalVolumeIdCharset), 0);
    EXPECT_EQ(le16(sector(image, p + 1), udf::tag::kIdentifier), udf::kTerminatingDescriptor);
}

TEST(UdfBridge, EveryFileEntryCarriesTheMarkersAndItsExtents) {
    auto recipe = test::knobs_recipe(ImageKind::Ps2Dvd);
    recipe.entry_order = kit::EntryOrder::ReverseDataOrder;
    const auto dvd = build_dvd(recipe);
    const auto& image = dvd.bytes;
    const std::uint32_t p = dvd.built.partition_start;
    for (const auto& extent : dvd.built.extents) {
        const auto fe = ByteView(image).subspan(extent.entry_offset, kSectorSize);
        ASSERT_EQ(extent.entry_offset % kSectorSize, 0u);
        EXPECT_EQ(le32(fe, 0), udf::kFileEntryTagWord);
        EXPECT_EQ(le32(fe, udf::tag::kLocation), extent.entry_offset / kSectorSize - p);
        EXPECT_TRUE(udf::tag_is_valid(fe)) << extent.iso_path;
        EXPECT_TRUE(block_is(image, extent.entry_offset + udf::fe::kImplementationId, kIdentifierMarker));
        EXPECT_TRUE(block_is(image, extent.entry_offset + udf::fe::kAttributeMarker, kAttributeMarker));
        EXPECT_EQ(le64(fe, udf::fe::kInformationLength), recipe.files[extent.file_index].byte_size());
        EXPECT_EQ(extent.descriptor_offset, extent.entry_offset + 308 + 8 * extent.piece);
        const auto ad = ByteView(image).subspan(extent.descriptor_offset, udf::short_ad::kSize);
        EXPECT_EQ(le32(ad, udf::short_ad::kExtentLength), extent.size) << extent.listing_path;
        EXPECT_EQ(le32(ad, udf::short_ad::kExtentPosition), extent.sector - p) << extent.listing_path;
        EXPECT_GE(extent.entry_offset / kSectorSize, dvd.built.first_file_entry_sector);
        EXPECT_LT(extent.entry_offset / kSectorSize, dvd.built.data_start_sector);
    }
}

TEST(UdfBridge, IcbLengthKnobReachesTheFileSetAndIdentifiers) {
    auto recipe = test::sample_recipe(ImageKind::Ps2Dvd);
    recipe.icb_length = 316;
    const auto dvd = build_dvd(recipe);
    const auto fsd = sector(dvd.bytes, dvd.built.partition_start);
    EXPECT_EQ(le32(fsd, 400), 316u);
    const auto fids = sector(dvd.bytes, dvd.built.partition_start + 2);
    EXPECT_EQ(le16(fids, udf::tag::kIdentifier), udf::kFileIdentifierDescriptor);
    EXPECT_EQ(le32(fids, 20), 316u);
    recipe.icb_length = 1000;
    std::vector<std::byte> out;
    EXPECT_FALSE(kit::build_image(recipe, out).ok());
}

} // namespace
} // namespace isorelink
