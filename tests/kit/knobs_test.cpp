#include <gtest/gtest.h>

#include <map>

#include "format/endian.h"
#include "format/sector.h"
#include "support/kit_fixtures.h"

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

kit::FileRecipe at(kit::FileRecipe file, std::uint32_t sector) {
    file.sector = sector;
    return file;
}

// A recipe the kit refuses, and the words its reason must hold.
struct Refused {
    const char* name;
    std::vector<kit::FileRecipe> files;  // none: a bad volume identifier instead
    const char* why;
    friend void PrintTo(const Refused& c, std::ostream* out) { *out << c.name; }
};

class RefusedRecipe : public ::testing::TestWithParam<Refused> {};

TEST_P(RefusedRecipe, SaysWhy) {
    kit::ImageRecipe recipe;
    recipe.files = GetParam().files;
    if (recipe.files.empty()) recipe.volume_id = "bad volume";
    std::vector<std::byte> image;
    auto built = kit::build_image(recipe, image);
    ASSERT_FALSE(built.ok());
    EXPECT_NE(built.error().message.find(GetParam().why), std::string::npos) << built.error().message;
}

INSTANTIATE_TEST_SUITE_P(
    Knobs, RefusedRecipe,
    ::testing::Values(
        Refused{"LowerCaseName", {pattern_file("\\lower.bin", 1)}, "cannot record"},
        Refused{"NoLeadingSeparator", {pattern_file("NOSLASH.BIN", 1)}, "not of the form"},
        Refused{"PathTooLong", {pattern_file("\\" + std::string(221, 'A'), 1)}, "too long"},
        Refused{"FileListedTwice", {pattern_file("\\A.BIN", 1), pattern_file("\\A.BIN", 2)}, "listed twice"},
        Refused{"FileAndDirectoryOfOneName", {pattern_file("\\A", 1), pattern_file("\\A\\B.BIN", 2)},
                "both a file and a directory"},
        Refused{"FilesOverlap", {at(pattern_file("\\A.BIN", 5000), 100), at(pattern_file("\\B.BIN", 1), 102)},
                "overlaps"},
        Refused{"FileOverTheMetadata", {at(pattern_file("\\A.BIN", 1), 17)}, "metadata"},
        Refused{"ExtentLimitNotWholeSectors", {pattern_file("\\A.BIN", 5000, 1000)}, "multiple of 2048"},
        Refused{"BadVolumeIdentifier", {}, "volume identifier"}),
    test::case_name<Refused>);

} // namespace
} // namespace isorelink
