// The exact bytes of the three products.
#include <gtest/gtest.h>

#include "listing/listing_writer.h"

namespace isorelink {
namespace {

const FileEntry kSystemCnf{304, 1234, 47264, "\\SYSTEM.CNF"};

TEST(ListingLines, SectorAndFileListingLines) {
    EXPECT_EQ(sector_listing_line(ImageKind::Ps2Dvd, kSystemCnf, 2160948),
              "00000130|000004D2|0000B8A2|0020F934|\\SYSTEM.CNF\r\n");
    EXPECT_EQ(file_listing_line(kSystemCnf), "0000304 , \\SYSTEM.CNF\r\n");

    const FileEntry far{12345678, 0xFFFFFFFF, 0xFFFFFFFD, "\\FAR.BIN"};
    EXPECT_EQ(file_listing_line(far), "12345678 , \\FAR.BIN\r\n");  // more than seven digits
    EXPECT_EQ(sector_listing_line(ImageKind::Ps2Cd, far, 0), "00BC614E|FFFFFFFF|FFFFFFFF|\\FAR.BIN\r\n");
    // Sectors of 2^31 and more stay unsigned.
    EXPECT_EQ(file_listing_line(FileEntry{0x80000000u, 0, 0, "\\X"}), "2147483648 , \\X\r\n");
}

} // namespace
} // namespace isorelink
