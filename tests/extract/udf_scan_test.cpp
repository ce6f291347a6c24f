// The descriptor anchor, the descriptor list and the data start sector.
#include <gtest/gtest.h>

#include "common/sector.h"
#include "common/udf_layout.h"
#include "extract/descriptor_anchor.h"
#include "extract/hand_image.h"
#include "listing/data_start.h"
#include "listing/descriptor_list.h"
#include "listing/directory_walker.h"
#include "support/test_support.h"

namespace isorelink {
namespace {

using test::put_file_entry;

class UdfScan : public ::testing::Test {
protected:
    // Small windows so that matches straddle refills too.
    ImageWindow& window(const std::vector<std::byte>& bytes, std::size_t block = 4096) {
        test::write_bytes(dir.file("u.iso"), bytes);
        file = std::move(*File::open(dir.file("u.iso"), "rb"));
        image.emplace(file, bytes.size(), block);
        return *image;
    }
    Expected<std::uint64_t> anchor(const std::vector<std::byte>& bytes) {
        return find_descriptor_anchor(window(bytes), "img");
    }
    test::ScratchDir dir;
    File file;
    std::optional<ImageWindow> image;
};

constexpr const char* kNoEntry = "Code 1106 - invalid volume structure img (no UDF file entry found)";

void put_marker(std::vector<std::byte>& bytes, std::size_t at, const std::array<std::byte, 16>& marker) {
    std::copy(std::begin(marker), std::end(marker), bytes.begin() + static_cast<std::ptrdiff_t>(at));
}

// Every image holds a File Entry at sector 30 the scan must find (offset
// 308, its short_ad), behind the decoys each case puts first.
TEST_F(UdfScan, AnchorIsTheFirstFileEntryWhoseExtentLiesAfterIt) {
    const struct {
        const char* why;
        void (*decoys)(std::vector<std::byte>&);
    } cases[] = {
        {"a later entry", [](auto& b) { put_file_entry(b, 31, 6, 10); }},
        {"directories' entries whose extents lie before them; the first extent not below the first entry's tag "
         "location (7) counts",
         [](auto& b) {
             put_file_entry(b, 28, 7, 2);
             put_file_entry(b, 29, 8, 3);
             put_file_entry(b, 30, 9, 7);
         }},
        {"a lone identifier marker, and a complete entry off the grid",
         [](auto& b) {
             put_marker(b, sector_offset(20) + 128, kIdentifierMarker);
             put_marker(b, sector_offset(25) + 8 + 128, kIdentifierMarker);
             put_marker(b, sector_offset(25) + 8 + 288, kAttributeMarker);
         }},
        {"a lone identifier; the scan resumes 160 bytes on and so jumps over an entry whose identifier falls "
         "before that",
         [](auto& b) {
             put_marker(b, sector_offset(10), kIdentifierMarker);
             put_marker(b, sector_offset(10) + 64, kIdentifierMarker);
             put_marker(b, sector_offset(10) + 64 + 160, kAttributeMarker);
             put_le32(b, sector_offset(10) + 64 + 160 + 24, 0xFFFFFFFF);
         }},
    };
    for (const auto& c : cases) {
        std::vector<std::byte> bytes(sector_offset(40));
        put_file_entry(bytes, 30, 9, 9);
        c.decoys(bytes);
        auto found = anchor(bytes);
        ASSERT_TRUE(found) << c.why;
        EXPECT_EQ(*found, sector_offset(30) + udf::fe::kShortAllocationDescriptor) << c.why;
    }
}

TEST_F(UdfScan, ScansStopAtTheImageEnd) {
    std::vector<std::byte> none(sector_offset(40));
    auto missing = anchor(none);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().message, kNoEntry);

    // Every entry's extent lies before it: the second scan runs off the end.
    std::vector<std::byte> dirs_only(sector_offset(40));
    put_file_entry(dirs_only, 38, 9, 2);
    put_file_entry(dirs_only, 39, 10, 3);
    auto runs_off = anchor(dirs_only);
    ASSERT_FALSE(runs_off);
    EXPECT_EQ(runs_off.error().message, kNoEntry);

    // The attribute marker would lie past the end.
    std::vector<std::byte> cut(sector_offset(39) + 200);
    for (std::size_t i = 0; i < 16; ++i) cut[sector_offset(39) + 128 + i] = kIdentifierMarker[i];
    EXPECT_FALSE(anchor(cut));
}

TEST_F(UdfScan, DescriptorsPairByExtentPositionWithTiesInReadOrder) {
    std::vector<std::byte> bytes(sector_offset(40));
    put_file_entry(bytes, 30, 5, 20);
    put_file_entry(bytes, 31, 6, 10);
    put_file_entry(bytes, 32, 7, 20);
    put_file_entry(bytes, 33, 8, 15);
    auto& image = window(bytes);
    auto list = read_descriptor_list(image, sector_offset(30) + 308, 4, "img");
    ASSERT_TRUE(list);
    std::vector<std::uint64_t> sectors;
    for (const auto& entry : *list) sectors.push_back((entry.offset - 308) / 2048);
    EXPECT_EQ(sectors, (std::vector<std::uint64_t>{31, 33, 30, 32}));

    // More files than File Entries: the fifth descriptor would be read from
    // a sector that holds no entry.
    auto beyond_run = read_descriptor_list(image, sector_offset(30) + 308, 5, "img");
    ASSERT_FALSE(beyond_run);
    EXPECT_EQ(beyond_run.error().message,
              "Code 1106 - invalid volume structure img (fewer UDF file entries than files)");

    put_file_entry(bytes, 39, 9, 30);
    auto& last = window(bytes);
    EXPECT_TRUE(read_descriptor_list(last, sector_offset(39) + 308, 1, "img"));
    auto past = read_descriptor_list(last, sector_offset(39) + 308, 2, "img");
    ASSERT_FALSE(past);
    EXPECT_EQ(past.error().message,
              "Code 1106 - invalid volume structure img (UDF allocation descriptor outside the image)");
}

TEST(DescriptorPairing, FilesSharingASectorAreToldApartBySize) {
    // Two empty files and a 2048-byte file at sector 50; entries read in another order.
    const std::vector<FileEntry> files = {{40, 9, 0, "\\A"}, {50, 0, 0, "\\E1"}, {50, 2048, 0, "\\Z"},
                                          {50, 0, 0, "\\E2"}, {60, 1, 0, "\\B"}};
    std::vector<DescriptorEntry> descriptors = {{1, 100, 9}, {11, 200, 2048}, {11, 300, 0}, {11, 400, 0}, {21, 500, 1}};
    pair_shared_sectors(files, descriptors);
    std::vector<std::uint64_t> offsets;
    for (const auto& d : descriptors) offsets.push_back(d.offset);
    EXPECT_EQ(offsets, (std::vector<std::uint64_t>{100, 300, 200, 400, 500}));

    // Sizes that match nothing keep rank order.
    std::vector<DescriptorEntry> unmatched = {{1, 100, 9}, {11, 200, 7}, {11, 300, 8}, {11, 400, 6}, {21, 500, 1}};
    pair_shared_sectors(files, unmatched);
    EXPECT_EQ(unmatched[1].offset, 200u);
    EXPECT_EQ(unmatched[3].offset, 400u);
}

TEST_F(UdfScan, DataStartSector) {
    std::vector<std::byte> bytes(sector_offset(300));
    auto& image = window(bytes);
    EXPECT_EQ(*data_start_sector(ImageKind::Ps2Cd, image, 614400 / 2048, "img"), 300u);
    EXPECT_EQ(*data_start_sector(ImageKind::PspUmd, image, 5000, "img"), 5000u);  // no read at all

    // H = 280; 280-282 are not File Entries, 283-290 are, 291 is not.
    for (std::uint32_t s = 283; s <= 290; ++s) put_le32(bytes, sector_offset(s), udf::kFileEntryTagWord);
    put_le32(bytes, sector_offset(270), udf::kFileEntryTagWord);  // before H: not looked at
    EXPECT_EQ(*data_start_sector(ImageKind::Ps2Dvd, window(bytes), 280, "img"), 291u);

    // The image ends inside the run, or holds no run at all.
    for (std::uint32_t s = 291; s < 300; ++s) put_le32(bytes, sector_offset(s), udf::kFileEntryTagWord);
    auto inside = data_start_sector(ImageKind::Ps2Dvd, window(bytes), 280, "img");
    ASSERT_FALSE(inside);
    EXPECT_EQ(inside.error().message, "Code 1106 - invalid volume structure img (no UDF data start found)");
    EXPECT_FALSE(data_start_sector(ImageKind::Ps2Dvd, window(std::vector<std::byte>(sector_offset(300))), 280, "img"));
}

} // namespace
} // namespace isorelink
