// The UDF structures: decode and encode are each other's inverse on the
// bridge genisoimage writes and on the kit's PS2 DVD images, and the
// rebuild's File Entry edit leaves a sound entry.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "format/udf/anchor.h"
#include "format/udf/file_entry.h"
#include "format/udf/file_identifier.h"
#include "format/udf/file_set_descriptor.h"
#include "format/udf/logical_volume_descriptor.h"
#include "format/udf/partition_descriptor.h"
#include "format/udf/tag.h"
#include "format/sample_images.h"

namespace isorelink {
namespace {

using test::SampleImage;

std::vector<std::byte> bytes_of(ByteView view) { return {view.begin(), view.end()}; }

// The images to check: the kit's PS2 DVD and, where installed, genisoimage's bridge.
std::vector<SampleImage> udf_samples() {
    std::vector<SampleImage> images;
    images.push_back(test::kit_sample(ImageKind::Ps2Dvd));
    if (auto g = test::genisoimage_sample(true)) images.push_back(std::move(*g));
    return images;
}

// Where the walk from the anchor leads.
struct Bridge {
    std::uint32_t partition_sector = 0;  // the main sequence's partition descriptor
    std::uint32_t partition_start = 0;
    std::uint32_t file_set_block = 0;
};

Bridge follow_anchor(const SampleImage& image) {
    Bridge bridge;
    const auto anchor = udf::decode_anchor(image.sector(udf::avdp::kFirstAnchorSector));
    for (std::uint32_t s = anchor.main.location; s < anchor.main.location + anchor.main.length / kSectorSize; ++s) {
        const auto d = image.sector(s);
        const auto id = udf::decode_tag(d).identifier;
        if (id == udf::kPartitionDescriptor) {
            bridge.partition_sector = s;
            bridge.partition_start = udf::decode_partition_descriptor(d).starting_location;
        }
        if (id == udf::kLogicalVolumeDescriptor) bridge.file_set_block = udf::file_set_location(d).block;
        if (id == udf::kTerminatingDescriptor) break;
    }
    return bridge;
}

TEST(UdfTagRoundTrip, EveryTagOfTheVolumeDescriptorSequence) {
    for (const auto& image : udf_samples()) {
        for (std::uint32_t s = udf::avdp::kMainSequenceSector; s < udf::avdp::kMainSequenceSector + 6; ++s) {
            const auto d = image.sector(s);
            std::vector<std::byte> encoded(udf::tag::kSize);
            udf::encode_tag(encoded, udf::decode_tag(d));
            EXPECT_EQ(encoded, bytes_of(d.first(udf::tag::kSize))) << "sector " << s;
            EXPECT_TRUE(udf::tag_is_valid(d)) << "sector " << s;
            EXPECT_EQ(udf::decode_tag(d).location, s);
        }
    }
}

TEST(UdfAnchorRoundTrip, AnchorAtSector256) {
    for (const auto& image : udf_samples()) {
        const auto sector = image.sector(udf::avdp::kFirstAnchorSector);
        const auto tag = udf::decode_tag(sector);
        ASSERT_EQ(tag.identifier, udf::kAnchorVolumeDescriptorPointer);
        auto anchor = udf::decode_anchor(sector);
        EXPECT_EQ(anchor.main.location, udf::avdp::kMainSequenceSector);
        EXPECT_EQ(anchor.reserve.location, udf::avdp::kReserveSequenceSector);
        std::vector<std::byte> encoded(kSectorSize);
        udf::encode_anchor(encoded, tag.location, anchor);
        // Authors differ only in how much of the sector the CRC covers.
        if (tag.crc_length != udf::avdp::kCrcLength) udf::seal_tag(encoded, tag.crc_length);
        EXPECT_EQ(encoded, bytes_of(sector));
    }
}

TEST(UdfAnchorRoundTrip, TheRebuildsAnchorHasTheFixedCrc) {
    std::vector<std::byte> sector(kSectorSize);
    udf::encode_anchor(sector, 12345);
    EXPECT_EQ(udf::decode_tag(sector).crc, udf::avdp::kCrc);
    EXPECT_EQ(udf::decode_tag(sector).location, 12345u);
    EXPECT_TRUE(udf::tag_is_valid(sector));
}

TEST(UdfPartitionRoundTrip, MainSequencePartitionDescriptor) {
    for (const auto& image : udf_samples()) {
        const auto bridge = follow_anchor(image);
        ASSERT_NE(bridge.partition_sector, 0u);
        const auto sector = image.sector(bridge.partition_sector);
        const auto partition = udf::decode_partition_descriptor(sector);
        std::vector<std::byte> encoded(kSectorSize);
        udf::encode_partition_descriptor(encoded, bridge.partition_sector, partition);
        EXPECT_EQ(encoded, bytes_of(sector));
        EXPECT_EQ(partition.starting_location, bridge.partition_start);
    }
}

TEST(UdfPartitionLength, SetInPlaceAndResealed) {
    const auto image = test::kit_sample(ImageKind::Ps2Dvd);
    const auto bridge = follow_anchor(image);
    auto sector = bytes_of(image.sector(bridge.partition_sector));
    udf::put_partition_length(sector, 777);
    EXPECT_FALSE(udf::tag_is_valid(sector));
    udf::reseal_tag(sector);
    EXPECT_TRUE(udf::tag_is_valid(sector));
    EXPECT_EQ(udf::decode_partition_descriptor(sector).length, 777u);
    EXPECT_EQ(udf::decode_partition_descriptor(sector).starting_location, bridge.partition_start);
}

TEST(UdfFileSetRoundTrip, FileSetDescriptor) {
    for (const auto& image : udf_samples()) {
        const auto bridge = follow_anchor(image);
        const auto sector = image.sector(bridge.partition_start + bridge.file_set_block);
        ASSERT_EQ(udf::decode_tag(sector).identifier, udf::kFileSetDescriptor);
        const auto fsd = udf::decode_file_set_descriptor(sector);
        std::vector<std::byte> encoded(kSectorSize);
        udf::encode_file_set_descriptor(encoded, udf::decode_tag(sector).location, fsd);
        EXPECT_EQ(encoded, bytes_of(sector));
        EXPECT_EQ(fsd.root_icb.block, udf::file_set_root(sector).block);
    }
}

// The root directory's File Entry and every File Identifier in its data.
TEST(UdfFileEntryAndIdentifierRoundTrip, RootDirectoryAndItsNames) {
    for (const auto& image : udf_samples()) {
        const auto bridge = follow_anchor(image);
        const auto root_block =
            udf::file_set_root(image.sector(bridge.partition_start + bridge.file_set_block)).block;
        const auto entry_sector = image.sector(bridge.partition_start + root_block);
        const auto entry = udf::decode_file_entry(entry_sector);
        ASSERT_TRUE(entry);
        EXPECT_TRUE(entry->is_directory());
        EXPECT_EQ(entry->icb_tag.allocation_type(), 0);
        std::vector<std::byte> encoded(kSectorSize);
        udf::encode_file_entry(encoded, udf::decode_tag(entry_sector).location, *entry);
        EXPECT_EQ(encoded, bytes_of(entry_sector));

        ASSERT_GE(entry->short_ad_count(), 1u);
        const auto extent = entry->short_ad_at(0);
        const auto data = image.sector(bridge.partition_start + extent.position, sectors_to_hold(extent.recorded_length()))
                              .first(static_cast<std::size_t>(entry->information_length));
        int names = 0;
        for (std::size_t pos = 0; pos < data.size();) {
            const auto size = udf::file_identifier_size(data.subspan(pos, udf::fid::kFixedSize));
            const auto bytes = data.subspan(pos, size);
            const auto fid = udf::decode_file_identifier(bytes);
            std::vector<std::byte> again(size);
            udf::encode_file_identifier(again, udf::decode_tag(bytes).location, fid);
            EXPECT_EQ(again, bytes_of(bytes)) << "identifier at byte " << pos;
            pos += size;
            ++names;
        }
        EXPECT_EQ(names, 3);  // the parent, A.TXT, DATA
    }
}

TEST(UdfFileEntryDecode, AttributesAndDescriptorsPastTheSectorAreRefused) {
    const auto image = test::kit_sample(ImageKind::Ps2Dvd);
    const auto bridge = follow_anchor(image);
    const auto root_block = udf::file_set_root(image.sector(bridge.partition_start + bridge.file_set_block)).block;
    auto sector = bytes_of(image.sector(bridge.partition_start + root_block));
    EXPECT_TRUE(udf::decode_file_entry(sector));
    put_le32(sector, udf::fe::kAllocationDescriptorsLength, kSectorSize);
    EXPECT_FALSE(udf::decode_file_entry(sector));
    put_le32(sector, udf::fe::kAllocationDescriptorsLength, 8);
    put_le32(sector, udf::fe::kExtendedAttributesLength, 0xFFFFFFFF);
    EXPECT_FALSE(udf::decode_file_entry(sector));
    EXPECT_FALSE(udf::decode_file_entry(ByteView(sector).first(100)));
}

TEST(UdfFileEntryEdit, RelinkWritesTheExtentSizesAndASoundTag) {
    const auto image = test::kit_sample(ImageKind::Ps2Dvd);
    const auto bridge = follow_anchor(image);
    const auto root_block = udf::file_set_root(image.sector(bridge.partition_start + bridge.file_set_block)).block;
    auto sector = bytes_of(image.sector(bridge.partition_start + root_block));
    const auto crc_length = udf::decode_tag(sector).crc_length;
    udf::relink_file_entry(sector, udf::RelinkPlace{}, 5000, 4321, crc_length);
    ASSERT_TRUE(udf::tag_is_valid(sector));
    const auto entry = udf::decode_file_entry(sector);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->short_ad_at(0).length, 5000u);
    EXPECT_EQ(entry->short_ad_at(0).position, 4321u);
    EXPECT_EQ(entry->information_length, 5000u);
    EXPECT_EQ(entry->logical_blocks_recorded, 3u);
    EXPECT_EQ(udf::decode_tag(sector).crc_length, crc_length);
}

TEST(UdfAllocationDescriptors, ExtentTypeBitsStayOutOfTheRecordedLength) {
    std::vector<std::byte> bytes(udf::short_ad::kSize);
    udf::encode_short_ad(bytes, 0, {0xC0000800u, 7});
    const auto ad = udf::decode_short_ad(bytes, 0);
    EXPECT_EQ(ad.length, 0xC0000800u);
    EXPECT_EQ(ad.recorded_length(), 0x800u);
    EXPECT_EQ(ad.position, 7u);

    std::vector<std::byte> long_bytes(udf::long_ad::kSize, std::byte{0xFF});
    udf::encode_long_ad(long_bytes, 0, {2048, 99, 1});
    const auto long_ad = udf::decode_long_ad(long_bytes, 0);
    EXPECT_EQ(long_ad.length, 2048u);
    EXPECT_EQ(long_ad.block, 99u);
    EXPECT_EQ(long_ad.partition, 1u);
    EXPECT_EQ(long_bytes.back(), std::byte{0});  // implementation use as given: zeros
}

TEST(UdfIdentifierName, TheListingsRuleOverBothCompressions) {
    const auto bytes = [](std::initializer_list<int> values) {
        std::vector<std::byte> out;
        for (const int v : values) out.push_back(static_cast<std::byte>(v));
        return out;
    };
    EXPECT_EQ(udf::identifier_listing_name(bytes({8, 'A', '/', 0x83, 0x5C})), "A_\x83\x5C");
    EXPECT_EQ(udf::identifier_listing_name(bytes({16, 0, 'A', 0, '.', 0, 'B'})), "A.B");
    EXPECT_EQ(udf::identifier_listing_name(bytes({16, 0x30, 0xBD})), std::nullopt);  // past ASCII
    EXPECT_EQ(udf::identifier_listing_name(bytes({})), std::nullopt);
    EXPECT_EQ(udf::identifier_listing_name(bytes({254, 'A'})), std::nullopt);
}

} // namespace
} // namespace isorelink
