// Where replace puts a file, on listings written by hand.
#include <gtest/gtest.h>

#include "host/replace_plan.h"

namespace isorelink::host {
namespace {

// Files at 300 (3 sectors, then a free sector), 304 (1 sector), 305 (2 sectors, the last file);
// the image ends at 400.
LayoutInput sample_layout() {
    LayoutInput layout;
    for (auto [sector, size, path] : {std::tuple{300u, 5000u, "\\A"}, {304u, 2048u, "\\B"}, {305u, 3000u, "\\C"}})
        layout.listing.push_back(ListingLine{sector, size, sector * 4, 0, path});
    layout.image_sectors = layout.volume_space_size = 400;
    return layout;
}

long new_sector(const LayoutInput& layout, std::size_t line, std::uint64_t size) {
    auto plan = plan_replace(layout, {{line, size, "x"}});
    return plan.ok() ? long{plan->files[0].new_sector} : -1;
}

TEST(ReplacePlan, InPlaceUpToTheNextUsedSectorOtherwiseBehindTheImage) {
    auto layout = sample_layout();
    EXPECT_EQ(new_sector(layout, 0, 4 * 2048), 300);  // grows into its free sector
    EXPECT_EQ(new_sector(layout, 0, 4 * 2048 + 1), 400);
    EXPECT_EQ(new_sector(layout, 2, 2 * 2048), 305);
    EXPECT_EQ(new_sector(layout, 2, 2 * 2048 + 1), 400);  // what follows the last file stays
    EXPECT_EQ(new_sector(layout, 0, std::uint64_t{1} << 32), -1);
    const auto shrunk = plan_replace(layout, {{2, 10, "c"}});
    ASSERT_TRUE(shrunk.ok());
    EXPECT_EQ(shrunk->files[0].clear_until, 307u);  // the old second sector is cleared

    layout.metadata_sectors = {16, 303};  // a directory in A's free sector
    EXPECT_EQ(new_sector(layout, 0, 4 * 2048), 400);
    layout.listing.push_back(ListingLine{304, 100, 0, 0, "\\B2"});  // a second record for B's sector
    EXPECT_EQ(new_sector(layout, 1, 10), 400);
    layout.volume_space_size = 450;  // a volume longer than the file: behind both
    EXPECT_EQ(new_sector(layout, 1, 8192), 450);
    layout.kind = ImageKind::Ps2Dvd;
    EXPECT_EQ(new_sector(layout, 0, std::uint64_t{1} << 30), -1);  // one short_ad cannot say it
}

} // namespace
} // namespace isorelink::host
