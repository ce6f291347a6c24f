#include <gtest/gtest.h>

#include "extract/extraction_names.h"
#include "rebuild/rebuild_names.h"

namespace {

TEST(JobNames, ExtractionConcatenatesWithoutInsertingASeparator) {
    auto names = isorelink::extraction_names("C:\\ISO", "A.ISO");
    ASSERT_TRUE(names.ok());
    EXPECT_EQ(names->image, "C:\\ISOA.ISO");
    EXPECT_EQ(names->header_copy, "C:\\ISOtemp1.tmp");
    EXPECT_EQ(names->path_table_copy, "C:\\ISOtmp.tmp");
    EXPECT_EQ(names->sector_listing, "C:\\ISOA.ISO-LSN.TXT");
    EXPECT_EQ(names->file_listing, "C:\\ISOA.ISO-Filelist.txt");
    EXPECT_EQ(names->record_file, "C:\\ISOA.ISO.xqe");
}

TEST(JobNames, RebuildNamesAndTheLongestNameThatFits) {
    auto names = isorelink::rebuild_names("/d/", "GAME.ISO");
    ASSERT_TRUE(names.ok());
    EXPECT_EQ(names->new_image, "/d/NEW-GAME.ISO");
    EXPECT_EQ(names->relink_list, "/d/GAME.ISO-relink-LSN.TXT");
    EXPECT_EQ(names->record_file, "/d/GAME.ISO.xqe");

    // 2047 characters fit a 2048-byte buffer; one more does not.
    const std::string suffix = "-relink-LSN.TXT";
    const std::string image(2047 - suffix.size(), 'i');
    EXPECT_TRUE(isorelink::rebuild_names("", image).ok());
    auto refused = isorelink::rebuild_names("", image + "i");
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().message.size(), 2047u);
    EXPECT_EQ(refused.error().message.rfind("Code 407 - name too long iii", 0), 0u);
}

} // namespace
