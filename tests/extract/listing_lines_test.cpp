// The exact bytes of the three products.
#include <gtest/gtest.h>

#include "listing/listing_writer.h"
#include "support/test_support.h"

namespace isorelink {
namespace {

const FileEntry kSystemCnf{304, 1234, 47264, "\\SYSTEM.CNF"};

TEST(ListingLines, SectorAndFileListingLines) {
    EXPECT_EQ(sector_listing_line(ImageKind::Ps2Cd, kSystemCnf, 0), "00000130|000004D2|0000B8A2|\\SYSTEM.CNF\r\n");
    EXPECT_EQ(sector_listing_line(ImageKind::PspUmd, kSystemCnf, 2160948),
              "00000130|000004D2|0000B8A2|\\SYSTEM.CNF\r\n");
    EXPECT_EQ(sector_listing_line(ImageKind::Ps2Dvd, kSystemCnf, 2160948),
              "00000130|000004D2|0000B8A2|0020F934|\\SYSTEM.CNF\r\n");
    EXPECT_EQ(file_listing_line(kSystemCnf), "0000304 , \\SYSTEM.CNF\r\n");

    const FileEntry far{12345678, 0xFFFFFFFF, 0xFFFFFFFD, "\\FAR.BIN"};
    EXPECT_EQ(file_listing_line(far), "12345678 , \\FAR.BIN\r\n");
    EXPECT_EQ(sector_listing_line(ImageKind::Ps2Cd, far, 0), "00BC614E|FFFFFFFF|FFFFFFFF|\\FAR.BIN\r\n");
    // Sectors of 2^31 and more stay unsigned.
    EXPECT_EQ(file_listing_line(FileEntry{0x80000000u, 0, 0, "\\X"}), "2147483648 , \\X\r\n");
}

TEST(ListingLines, RecordFileHoldsTheDataStartThenVexoTwice) {
    const auto record = record_file_record(kSystemCnf);
    const std::vector<std::byte> expected = {std::byte{0x30}, std::byte{0x01}, std::byte{0}, std::byte{0},
                                             std::byte{'v'},  std::byte{'e'},  std::byte{'x'}, std::byte{'o'},
                                             std::byte{'v'},  std::byte{'e'},  std::byte{'x'}, std::byte{'o'}};
    EXPECT_EQ(std::vector<std::byte>(record.begin(), record.end()), expected);

    test::ScratchDir dir;
    const std::string sl = dir.file("a"), fl = dir.file("b"), rf = dir.file("c");
    auto s = *File::open(sl, "wb");
    auto f = *File::open(fl, "wb");
    auto r = *File::open(rf, "wb");
    const std::vector<FileEntry> files = {kSystemCnf, {310, 2, 47300, "\\B"}};
    const std::vector<DescriptorEntry> descriptors = {{5, 2160948}, {6, 2162996}};
    ASSERT_TRUE(write_listings(ImageKind::Ps2Dvd, files, descriptors, {s, sl, f, fl, r, rf}));
    ASSERT_TRUE(r.close());
    r = *File::open(rf, "r+b");
    ASSERT_TRUE(write_data_start(r, 300, rf));
    s.close();
    f.close();
    r.close();
    EXPECT_EQ(test::read_text(sl), "00000130|000004D2|0000B8A2|0020F934|\\SYSTEM.CNF\r\n"
                                   "00000136|00000002|0000B8C6|00210134|\\B\r\n");
    EXPECT_EQ(test::read_text(fl), "0000304 , \\SYSTEM.CNF\r\n0000310 , \\B\r\n");
    const auto bytes = test::read_bytes(rf);
    ASSERT_EQ(bytes.size(), 24u);
    EXPECT_EQ(bytes[0], std::byte{0x2C});
    EXPECT_EQ(bytes[1], std::byte{0x01});
    EXPECT_EQ(bytes[12], std::byte{0x36});
    EXPECT_EQ(test::read_text(rf).substr(4, 8), "vexovexo");
}

} // namespace
} // namespace isorelink
