// File Entries laid out by general authoring tools: no extended attributes,
// no descriptor for an empty file, Extended File Entries. The rebuild finds
// each field by the lengths the entry records, not 252 bytes before D.
#include <gtest/gtest.h>

#include "format/endian.h"
#include "format/udf/tag.h"
#include "rebuild_folder.h"

namespace isorelink::test {
namespace {

constexpr std::uint32_t kPartitionStart = 257;
constexpr std::uint64_t kEntrySector = 1055;
constexpr std::uint64_t kEntry = kEntrySector * 2048;
const HandImage kDvd{.kind = ImageKind::Ps2Dvd, .size = 1100 * 2048, .volume_sectors = 1100,
                     .partition_length = 842, .entry_sectors = {1055}};

std::string line(std::uint32_t sector, std::uint32_t size, std::uint64_t descriptor) {
    char text[64];
    std::snprintf(text, sizeof text, "%08X|%08X|%08X|%08X|\\A\r\n", sector, size, 47266u,
                  static_cast<unsigned>(descriptor));
    return text;
}

// A sealed entry: tag 261 or 266, its lengths at their places, the tag
// covering everything up to the end of its descriptors.
std::vector<std::byte> entry(std::uint16_t identifier, std::uint32_t attributes, std::uint32_t descriptors) {
    std::vector<std::byte> e(2048);
    const bool extended = identifier == 266;
    const std::size_t lengths = extended ? 208 : 168;
    put_le16(e, 0, identifier);
    put_le16(e, 2, 2);
    put_le32(e, 12, kEntrySector - kPartitionStart);
    put_le32(e, lengths, attributes);
    put_le32(e, lengths + 4, descriptors);
    put_le64(e, 56, 4096);
    if (descriptors != 0) {
        put_le32(e, lengths + 8 + attributes, 4096);
        put_le32(e, lengths + 8 + attributes + 4, 3);
    }
    udf::seal_tag(e, static_cast<std::uint16_t>(lengths + 8 + attributes + descriptors - 16));
    return e;
}

class EntryLayouts : public RebuildFolder {
protected:
    void with_entry(const std::vector<std::byte>& e) {
        build(kDvd);
        put_bytes(image(), kEntry, e);
    }
    std::vector<std::byte> patched() { return bytes_at(image(), kEntry, 2048); }
};

TEST_F(EntryLayouts, AnEntryWithoutExtendedAttributesTakesItsFieldsAtTheirPlaces) {
    with_entry(entry(261, 0, 8));
    relink(line(300, 5000, kEntry + 176), 12);
    ASSERT_EQ(failure(run()), "");
    const auto e = patched();
    EXPECT_EQ(le32(e, 176), 5000u);
    EXPECT_EQ(le32(e, 180), 300u - kPartitionStart);
    EXPECT_EQ(le64(e, 56), 5000u) << "Information Length at 56, not 252 bytes before the descriptor";
    EXPECT_EQ(le64(e, 64), 3u);
    EXPECT_TRUE(udf::tag_is_valid(e));

    // The console's place for the descriptor is no descriptor of this entry.
    with_entry(entry(261, 0, 8));
    relink(line(300, 5000, kEntry + 308), 12);
    EXPECT_NE(failure(run()).find("Code 405"), std::string::npos);
}

TEST_F(EntryLayouts, AnEmptyFilesEntryGainsADescriptorOnlyWhenItGetsData) {
    with_entry(entry(261, 0, 0));
    relink(line(300, 11, kEntry + 176), 12);
    ASSERT_EQ(failure(run()), "");
    auto e = patched();
    EXPECT_EQ(le32(e, 172), 8u) << "the descriptor length grows";
    EXPECT_EQ(udf::decode_tag(e).crc_length, 176u + 8 - 16) << "and the tag covers the new descriptor";
    EXPECT_EQ(le32(e, 176), 11u);
    EXPECT_EQ(le32(e, 180), 300u - kPartitionStart);
    EXPECT_TRUE(udf::tag_is_valid(e));

    with_entry(entry(261, 0, 0));
    relink(line(300, 0, kEntry + 176), 12);
    ASSERT_EQ(failure(run()), "");
    e = patched();
    EXPECT_EQ(le32(e, 172), 0u);
    EXPECT_EQ(le64(e, 176), 0u) << "no descriptor written past the entry's end";
    EXPECT_TRUE(udf::tag_is_valid(e));
}

TEST_F(EntryLayouts, AnExtendedFileEntryKeepsItsObjectSizeAndBlocksAtItsOwnPlaces) {
    with_entry(entry(266, 0, 8));
    relink(line(300, 5000, kEntry + 216), 12);
    ASSERT_EQ(failure(run()), "");
    const auto e = patched();
    EXPECT_EQ(le32(e, 216), 5000u);
    EXPECT_EQ(le64(e, 56), 5000u);
    EXPECT_EQ(le64(e, 64), 5000u) << "Object Size";
    EXPECT_EQ(le64(e, 72), 3u) << "Logical Blocks Recorded";
    EXPECT_TRUE(udf::tag_is_valid(e));
}

} // namespace
} // namespace isorelink::test
