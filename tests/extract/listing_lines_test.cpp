// Values past seven digits and past 2^31 in the listing lines.
#include <gtest/gtest.h>

#include "extract/listing_writer.h"

namespace isorelink {
namespace {

TEST(ListingLines, WideValuesStayUnsigned) {
    const FileEntry far{12345678, 0xFFFFFFFF, 0xFFFFFFFD, "\\FAR.BIN"};
    EXPECT_EQ(sector_listing_line(ImageKind::Ps2Cd, far, 0), "00BC614E|FFFFFFFF|FFFFFFFF|\\FAR.BIN\r\n");
    EXPECT_EQ(file_listing_line(FileEntry{0x80000000u, 0, 0, "\\X"}), "2147483648 , \\X\r\n");
}

} // namespace
} // namespace isorelink
