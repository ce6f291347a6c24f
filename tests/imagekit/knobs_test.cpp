#include <gtest/gtest.h>

#include <map>

#include "format/endian.h"
#include "format/sector.h"
#include "imagekit/kit_fixtures.h"

namespace isorelink {
namespace {

using test::pattern_file;

TEST(Knobs, EveryKnobReachesTheImage) {
    auto recipe = test::knobs_recipe(ImageKind::Ps2Cd);
    recipe.first_data_sector = 500;
    recipe.min_directory_sectors = 3;
    recipe.optional_path_table = kit::OptionalPathTable::Zero;
    std::vector<std::byte> image;
    const auto built = kit::build_image(recipe, image);
    ASSERT_TRUE(built.ok()) << built.error().message;
    std::map<std::string, std::uint32_t> at;
    std::string pieces;  // listing name, flags, '-' when the listing drops it
    for (const auto& e : built->extents) {
        at[e.listing_path] = e.sector;
        EXPECT_EQ(u8(image, e.record_offset + 25), e.flags);
        if (e.iso_path.rfind("\\DATA\\", 0) == 0)
            pieces += e.listing_path.substr(6) + ":" + std::to_string(e.flags) + (e.listed ? " " : "- ");
    }
    EXPECT_EQ(pieces,
              "MOVIE0.PSS:128 MOVIE1.PSS:128 MOVIE2.PSS:0 SECRET.DAT:129- SECRET.DAT:129- SECRET.DAT:1 "
              "A0.B0.C:128 A1.B1.C:0 ");
    EXPECT_TRUE(at["\\EMPTY1.DAT"] == at["\\AFIRST.BIN"] &&
                at["\\EMPTY2.DAT"] == at["\\AFIRST.BIN"]);  // empty files share the next file's sector
    EXPECT_TRUE(at["\\ZLAST.BIN"] == 500u && at["\\AFIRST.BIN"] > 500u &&
                at["\\FIXED.BIN"] == 900u);  // data order, fixed sector
    EXPECT_TRUE(le32(image, 32768 + 144) == 0u && be32(image, 32768 + 152) == 0u);  // no optional path tables
    for (const auto& dir : built->directories) EXPECT_EQ(dir.size, 3u * kSectorSize) << dir.path;
}

TEST(Knobs, RefusedRecipesSayWhy) {
    auto at = [](kit::FileRecipe file, std::uint32_t sector) {
        file.sector = sector;
        return file;
    };
    const std::pair<std::vector<kit::FileRecipe>, const char*> cases[] = {
        {{pattern_file("\\lower.bin", 1)}, "cannot record"},
        {{pattern_file("NOSLASH.BIN", 1)}, "not of the form"},
        {{pattern_file("\\" + std::string(221, 'A'), 1)}, "too long"},
        {{pattern_file("\\A.BIN", 1), pattern_file("\\A.BIN", 2)}, "listed twice"},
        {{pattern_file("\\A", 1), pattern_file("\\A\\B.BIN", 2)}, "both a file and a directory"},
        {{at(pattern_file("\\A.BIN", 5000), 100), at(pattern_file("\\B.BIN", 1), 102)}, "overlaps"},
        {{at(pattern_file("\\A.BIN", 1), 17)}, "metadata"},
        {{pattern_file("\\A.BIN", 5000, 1000)}, "multiple of 2048"},
        {{}, "volume identifier"},
    };
    std::vector<std::byte> image;
    for (const auto& [files, why] : cases) {
        kit::ImageRecipe recipe;
        recipe.files = files;
        if (files.empty()) recipe.volume_id = "bad volume";
        auto built = kit::build_image(recipe, image);
        EXPECT_TRUE(!built.ok() && built.error().message.find(why) != std::string::npos) << why;
    }
}

} // namespace
} // namespace isorelink
