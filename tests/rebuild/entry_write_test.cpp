// Every File Entry edit is written after the directory records, so that its
// tag is sealed over everything its sector received, and two lines naming one
// entry leave the later line's fields.
#include <gtest/gtest.h>

#include "format/endian.h"
#include "format/udf/tag.h"
#include "rebuild_folder.h"

namespace isorelink::test {
namespace {

constexpr std::uint64_t kEntrySector = 1055;
constexpr std::uint64_t kEntry = kEntrySector * 2048;
constexpr std::uint64_t kD = kEntry + 308;  // short_ad; Information Length at D - 252
const HandImage kDvd{.kind = ImageKind::Ps2Dvd, .size = 1100 * 2048, .volume_sectors = 1100,
                     .partition_length = 842, .entry_sectors = {1055, 1056}};

std::string line(std::uint32_t sector, std::uint32_t size, std::uint64_t record, std::uint64_t descriptor) {
    char text[64];
    std::snprintf(text, sizeof text, "%08X|%08X|%08X|%08X|", sector, size, static_cast<unsigned>(record),
                  static_cast<unsigned>(descriptor));
    return text;
}

bool entry_sealed(const std::vector<std::byte>& entry) { return udf::tag_is_valid(entry); }

TEST_F(RebuildFolder, TwoLinesNamingOneEntryLeaveTheLaterLinesFields) {
    build(kDvd);
    relink(line(0x130, 0x4D2, 47266, kD) + "\\A\r\n" + line(0x140, 0x10, 47300, kD) + "\\B\r\n", 24);
    ASSERT_EQ(failure(run()), "");
    const auto entry = bytes_at(image(), kEntry, 2048);
    EXPECT_EQ(le32(entry, 308), 0x10u) << "the later line's size";
    EXPECT_EQ(le32(entry, 312), 0x140u - 257) << "the later line's block in the partition";
    EXPECT_EQ(le32(entry, 308 - 252), 0x10u);
    EXPECT_TRUE(entry_sealed(entry));
}

TEST_F(RebuildFolder, AnEntryIsSealedOverADirectoryRecordALaterLinePatchesInItsSector) {
    build(kDvd);
    // The second line's directory record lies inside the first line's entry,
    // within the bytes its tag's CRC covers.
    const std::uint64_t record_in_entry = kEntry + 100;
    relink(line(0x130, 0x4D2, 47266, kD) + "\\A\r\n" + line(0x150, 0x20, record_in_entry, kEntry + 2048 + 308) +
               "\\B\r\n",
           24);
    ASSERT_EQ(failure(run()), "");
    const auto entry = bytes_at(image(), kEntry, 2048);
    EXPECT_EQ(le32(entry, 100), 0x150u) << "the record patch landed";
    EXPECT_TRUE(entry_sealed(entry)) << "the tag covers the record patched after the entry's own line";
    EXPECT_TRUE(entry_sealed(bytes_at(image(), kEntry + 2048, 2048)));
}

} // namespace
} // namespace isorelink::test
