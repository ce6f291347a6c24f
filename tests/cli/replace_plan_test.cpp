// The sector listing's lines read back and written again, and the replace
// layout rules, on listings written by hand.
#include <gtest/gtest.h>

#include "host/replace_plan.h"
#include "host/sector_listing.h"

namespace isorelink::host {
namespace {

TEST(SectorListing, ReadsAndWritesBothFormatsWithCrLf) {
    const std::string dvd = "00000130|000004D2|0000B8A2|0020F934|\\SYSTEM.CNF\r\n"
                            "00000140|00000800|0000b8d0|0020fb34|\\DATA\\A B.BIN\r\n";
    auto lines = parse_sector_listing(dvd, ImageKind::Ps2Dvd);
    ASSERT_TRUE(lines.ok()) << lines.error().message;
    ASSERT_EQ(lines->size(), 2u);
    EXPECT_EQ((*lines)[0].sector, 304u);
    EXPECT_EQ((*lines)[0].size, 1234u);
    EXPECT_EQ((*lines)[0].extent_field, 47266u);
    EXPECT_EQ((*lines)[0].descriptor, 2160948u);
    EXPECT_EQ((*lines)[1].path, "\\DATA\\A B.BIN");  // lower-case hex read, path kept with its blank
    // Written back in upper case, one CR LF per line.
    EXPECT_EQ(format_sector_listing(*lines, ImageKind::Ps2Dvd),
              "00000130|000004D2|0000B8A2|0020F934|\\SYSTEM.CNF\r\n"
              "00000140|00000800|0000B8D0|0020FB34|\\DATA\\A B.BIN\r\n");

    auto cd = parse_sector_listing("00000130|000004D2|0000B8A2|\\SYSTEM.CNF\n\n", ImageKind::Ps2Cd);
    ASSERT_TRUE(cd.ok());
    ASSERT_EQ(cd->size(), 1u);
    EXPECT_EQ(format_listing_line((*cd)[0], ImageKind::PspUmd), "00000130|000004D2|0000B8A2|\\SYSTEM.CNF\r\n");
}

TEST(SectorListing, RefusesLinesWithoutTheKindsFields) {
    // A CD line read as DVD lacks the fourth field; a stray character; a short line.
    EXPECT_FALSE(parse_sector_listing("00000130|000004D2|0000B8A2|\\SYSTEM.CNF\r\n", ImageKind::Ps2Dvd).ok());
    EXPECT_FALSE(parse_sector_listing("0000013G|000004D2|0000B8A2|\\A\r\n", ImageKind::Ps2Cd).ok());
    auto refused = parse_sector_listing("00000130|000004D2|0000B8A2|\\A\r\n00000130|0000\r\n", ImageKind::Ps2Cd);
    ASSERT_FALSE(refused.ok());
    EXPECT_NE(refused.error().message.find("line 2"), std::string::npos);
    EXPECT_FALSE(parse_sector_listing(std::string(3000, '0'), ImageKind::Ps2Cd).ok());
}

ListingLine line(std::uint32_t sector, std::uint32_t size, std::string path) {
    return ListingLine{sector, size, sector * 4, 0, std::move(path)};
}

// Files at 300 (3 sectors, then a free sector), 304 (1 sector), 305 (2 sectors, the last
// file), a directory at 310; the image ends at 400 and records 400.
LayoutInput sample_layout() {
    LayoutInput layout;
    layout.kind = ImageKind::Ps2Cd;
    layout.listing = {line(300, 5000, "\\A"), line(304, 2048, "\\B"), line(305, 3000, "\\C")};
    layout.image_sectors = 400;
    layout.volume_space_size = 400;
    return layout;
}

TEST(ReplacePlan, InPlaceUpToTheNextUsedSectorOtherwiseBehindTheImage) {
    auto layout = sample_layout();
    // A grows into its free sector (4 sectors fit before B); B grows and moves;
    // C shrinks in place; the order asked decides the appended order.
    auto plan = plan_replace(layout, {{1, 4096, "b"}, {0, 8192, "a"}, {2, 10, "c"}});
    ASSERT_TRUE(plan.ok()) << plan.error().message;
    const auto& f = plan->files;
    ASSERT_EQ(f.size(), 3u);
    EXPECT_TRUE(f[0].moved);
    EXPECT_EQ(f[0].new_sector, 400u);
    EXPECT_FALSE(f[1].moved);
    EXPECT_EQ(f[1].new_sector, 300u);
    EXPECT_EQ(f[1].clear_until, 304u);
    EXPECT_FALSE(f[2].moved);
    EXPECT_EQ(f[2].clear_until, 307u);  // the old second sector is cleared
    EXPECT_EQ(plan->new_sector_count, 402u);
    // The relink lines: new values for the three, in listing order.
    EXPECT_EQ(plan->relink_lines[0].sector, 300u);
    EXPECT_EQ(plan->relink_lines[0].size, 8192u);
    EXPECT_EQ(plan->relink_lines[1].sector, 400u);
    EXPECT_EQ(plan->relink_lines[2].size, 10u);
    EXPECT_EQ(plan->relink_lines[2].extent_field, 305u * 4);

    // One byte more than A's four sectors: it moves.
    auto over = plan_replace(layout, {{0, 4 * 2048 + 1, "a"}});
    ASSERT_TRUE(over.ok());
    EXPECT_TRUE(over->files[0].moved);
}

TEST(ReplacePlan, TheLastFileAndFilesBeforeMetadataDoNotGrow) {
    auto layout = sample_layout();
    // C is the last file: what follows it (post-gap, anchor, padding) stays.
    auto last = plan_replace(layout, {{2, 3 * 2048, "c"}});
    ASSERT_TRUE(last.ok());
    EXPECT_TRUE(last->files[0].moved);
    auto fits = plan_replace(layout, {{2, 2 * 2048, "c"}});
    ASSERT_TRUE(fits.ok());
    EXPECT_FALSE(fits->files[0].moved);

    // A directory in A's free sector leaves A only its three sectors.
    layout.metadata_sectors = {16, 303};
    auto blocked = plan_replace(layout, {{0, 4 * 2048, "a"}});
    ASSERT_TRUE(blocked.ok());
    EXPECT_TRUE(blocked->files[0].moved);
}

TEST(ReplacePlan, SharedSectorsAndRefusals) {
    auto layout = sample_layout();
    layout.listing.push_back(line(304, 100, "\\B2"));  // a second record for B's sector
    auto shared = plan_replace(layout, {{1, 10, "b"}});
    ASSERT_TRUE(shared.ok());
    EXPECT_TRUE(shared->files[0].moved);  // writing in place would change \B2 too

    auto appended_past_volume = sample_layout();
    appended_past_volume.volume_space_size = 450;  // a volume longer than the file: append behind both
    auto behind = plan_replace(appended_past_volume, {{1, 8192, "b"}});
    ASSERT_TRUE(behind.ok());
    EXPECT_EQ(behind->files[0].new_sector, 450u);

    EXPECT_FALSE(plan_replace(layout, {{0, 10, "a"}, {0, 20, "a"}}).ok());
    EXPECT_FALSE(plan_replace(layout, {{0, std::uint64_t{1} << 32, "a"}}).ok());
    layout.kind = ImageKind::Ps2Dvd;
    EXPECT_FALSE(plan_replace(layout, {{0, std::uint64_t{1} << 30, "a"}}).ok());  // one short_ad cannot say it
    EXPECT_TRUE(plan_replace(layout, {{0, 0, "a"}}).ok());
}

} // namespace
} // namespace isorelink::host
