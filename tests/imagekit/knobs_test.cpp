// The layout knobs later tests lean on, and the recipes the kit refuses.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/endian.h"
#include "common/iso9660_layout.h"
#include "common/sector.h"
#include "imagekit/kit_fixtures.h"

namespace isorelink {
namespace {

using test::pattern_file;

std::vector<std::string> paths_of(const kit::BuiltImage& built, const std::string& needle) {
    std::vector<std::string> paths;
    for (const auto& e : built.extents)
        if (e.iso_path.find(needle) != std::string::npos)
            paths.push_back(e.listing_path + (e.listed ? "" : " (dropped)"));
    return paths;
}

TEST(Knobs, PiecesAreNumberedAsTheListingNamesThem) {
    std::vector<std::byte> image;
    const auto built = test::built_image(test::knobs_recipe(ImageKind::Ps2Cd), image);
    EXPECT_EQ(paths_of(built, "MOVIE"),
              (std::vector<std::string>{"\\DATA\\MOVIE0.PSS", "\\DATA\\MOVIE1.PSS", "\\DATA\\MOVIE2.PSS"}));
    EXPECT_EQ(paths_of(built, "A.B.C"), (std::vector<std::string>{"\\DATA\\A0.B0.C", "\\DATA\\A1.B1.C"}));
    EXPECT_EQ(paths_of(built, "SECRET"),
              (std::vector<std::string>{"\\DATA\\SECRET.DAT (dropped)", "\\DATA\\SECRET.DAT (dropped)",
                                        "\\DATA\\SECRET.DAT"}));
    std::vector<std::uint8_t> flags;
    for (const auto& e : built.extents)
        if (e.iso_path.find("SECRET") != std::string::npos || e.iso_path.find("MOVIE") != std::string::npos)
            flags.push_back(e.flags);
    EXPECT_EQ(flags, (std::vector<std::uint8_t>{0x80, 0x80, 0x00, 0x81, 0x81, 0x01}));
    for (const auto& e : built.extents) {
        EXPECT_EQ(u8(image, e.record_offset + iso::dr::kFlags), e.flags);
        EXPECT_EQ(u8(image, e.record_offset) % 2, 0) << "record lengths are even";
    }
}

TEST(Knobs, EmptyFilesShareTheNextFilesSectorInWalkOrder) {
    std::vector<std::byte> image;
    const auto built = test::built_image(test::knobs_recipe(ImageKind::Ps2Dvd), image);
    std::vector<std::string> at_afirst;
    std::uint32_t afirst = 0;
    for (const auto& e : built.extents)
        if (e.iso_path == "\\AFIRST.BIN") afirst = e.sector;
    for (const auto& e : built.extents)
        if (e.sector == afirst) at_afirst.push_back(e.iso_path);
    EXPECT_EQ(at_afirst, (std::vector<std::string>{"\\AFIRST.BIN", "\\EMPTY1.DAT", "\\EMPTY2.DAT"}));
    // Data order (ZLAST first) is not the directory order (AFIRST first).
    EXPECT_LT(std::find_if(built.extents.begin(), built.extents.end(),
                           [](const auto& e) { return e.iso_path == "\\ZLAST.BIN"; })->sector,
              afirst);
}

TEST(Knobs, GivenSectorsPaddingAndFirstDataSector) {
    auto recipe = test::knobs_recipe(ImageKind::Ps2Cd);
    recipe.first_data_sector = 500;
    std::vector<std::byte> image;
    const auto built = test::built_image(recipe, image);
    std::uint32_t end = 0;
    for (const auto& e : built.extents) {
        if (e.iso_path == "\\FIXED.BIN") {
            EXPECT_EQ(e.sector, 900u);
        }
        if (e.iso_path == "\\ZLAST.BIN") {
            EXPECT_EQ(e.sector, 500u);
        }
        end = std::max<std::uint32_t>(end, e.sector + static_cast<std::uint32_t>(sectors_to_hold(e.size)));
    }
    EXPECT_EQ(built.sector_count, end + 10);
    EXPECT_LT(built.data_start_sector, 500u);

    auto dvd = test::knobs_recipe(ImageKind::Ps2Dvd);
    const auto dvd_built = test::built_image(dvd, image);
    EXPECT_EQ(le32(image, sector_offset(dvd_built.sector_count - 1) + 12), dvd_built.sector_count - 1);
}

TEST(Knobs, DirectoriesOfSeveralSectorsHaveZeroTails) {
    auto recipe = test::knobs_recipe(ImageKind::PspUmd);
    recipe.min_directory_sectors = 3;
    std::vector<std::byte> image;
    const auto built = test::built_image(recipe, image);
    for (const auto& dir : built.directories) {
        EXPECT_EQ(dir.size, 3u * kSectorSize) << dir.path;
        EXPECT_EQ(both32(image, sector_offset(dir.sector) + iso::dr::kDataLength), dir.size);
    }
    const auto many = std::find_if(built.directories.begin(), built.directories.end(),
                                   [](const auto& d) { return d.path == "\\MANY"; });
    ASSERT_NE(many, built.directories.end());
    // Walk MANY as a reader does: a zero length byte ends a sector's records.
    std::size_t records = 0;
    for (std::uint32_t s = 0; s < 3; ++s) {
        std::uint64_t at = sector_offset(many->sector + s);
        const std::uint64_t sector_end = at + kSectorSize;
        while (at < sector_end && u8(image, at) != 0) {
            ASSERT_LE(at + u8(image, at), sector_end);
            at += u8(image, at);
            ++records;
        }
        for (; at < sector_end; ++at) ASSERT_EQ(image[at], std::byte{0});
    }
    EXPECT_EQ(records, 102u);
}

TEST(Knobs, OptionalPathTableLocations) {
    auto recipe = test::sample_recipe(ImageKind::Ps2Cd);
    std::vector<std::byte> image;
    const auto pvd_le32 = [&](std::size_t field) { return le32(image, iso::kPrimaryDescriptorOffset + field); };
    recipe.optional_path_table = kit::OptionalPathTable::Zero;
    test::built_image(recipe, image);
    EXPECT_EQ(pvd_le32(iso::pvd::kOptionalTypeLPathTable), 0u);
    EXPECT_EQ(be32(image, iso::kPrimaryDescriptorOffset + iso::pvd::kOptionalTypeMPathTable), 0u);
    recipe.optional_path_table = kit::OptionalPathTable::SameAsTypeL;
    const auto built = test::built_image(recipe, image);
    EXPECT_EQ(pvd_le32(iso::pvd::kOptionalTypeLPathTable), built.path_table_sector);
}

TEST(Knobs, FileEntriesFollowTheChosenOrder) {
    auto recipe = test::sample_recipe(ImageKind::Ps2Dvd);
    std::swap(recipe.files[0], recipe.files[2]);  // data order unlike the directory order
    // Walk order: root files first, then \DATA, then \DATA\SOUND.
    const char* const walk[] = {"\\SLUS_000.01", "\\SYSTEM.CNF", "\\DATA\\A.BIN", "\\DATA\\AB.BIN",
                                "\\DATA\\MOVIE.PSS", "\\DATA\\SOUND\\BGM.VAG"};
    for (auto order : {kit::EntryOrder::DataOrder, kit::EntryOrder::ReverseDataOrder, kit::EntryOrder::DirectoryOrder}) {
        recipe.entry_order = order;
        std::vector<std::byte> image;
        const auto built = test::built_image(recipe, image);
        std::vector<std::uint64_t> entries;  // File Entry offsets in data order, or in walk order
        if (order == kit::EntryOrder::DirectoryOrder) {
            for (const char* path : walk)
                for (const auto& e : built.extents)
                    if (e.iso_path == path) entries.push_back(e.entry_offset);
        } else {
            for (const auto& e : built.extents) entries.push_back(e.entry_offset);
        }
        if (order == kit::EntryOrder::ReverseDataOrder) std::reverse(entries.begin(), entries.end());
        EXPECT_TRUE(std::is_sorted(entries.begin(), entries.end())) << static_cast<int>(order);
    }
}

TEST(Knobs, RefusedRecipesSayWhy) {
    const auto refusal = [](std::vector<kit::FileRecipe> files, const std::string& volume_id = "") {
        kit::ImageRecipe recipe;
        recipe.files = std::move(files);
        if (!volume_id.empty()) recipe.volume_id = volume_id;
        std::vector<std::byte> image;
        auto built = kit::build_image(recipe, image);
        return built.ok() ? std::string("built") : built.error().message;
    };
    const auto at = [](kit::FileRecipe file, std::uint32_t sector) {
        file.sector = sector;
        return file;
    };
    auto odd_limit = pattern_file("\\A.BIN", 5000);
    odd_limit.extent_limit = 1000;
    const std::pair<std::vector<kit::FileRecipe>, const char*> cases[] = {
        {{pattern_file("\\lower.bin", 1)}, "cannot record"},
        {{pattern_file("\\DIR.X\\A.BIN", 1)}, "cannot record"},
        {{pattern_file("NOSLASH.BIN", 1)}, "not of the form"},
        {{pattern_file("\\A\\\\B.BIN", 1)}, "not of the form"},
        {{pattern_file("\\" + std::string(221, 'A'), 1)}, "too long"},
        {{pattern_file("\\A.BIN", 1), pattern_file("\\A.BIN", 2)}, "listed twice"},
        {{pattern_file("\\A", 1), pattern_file("\\A\\B.BIN", 2)}, "both a file and a directory"},
        {{at(pattern_file("\\A.BIN", 5000), 100), at(pattern_file("\\B.BIN", 1), 102)}, "overlaps"},
        {{at(pattern_file("\\A.BIN", 1), 17)}, "metadata"},
        {{odd_limit}, "multiple of 2048"},
    };
    for (const auto& [files, why] : cases) EXPECT_NE(refusal(files).find(why), std::string::npos) << why;
    EXPECT_NE(refusal({pattern_file("\\A.BIN", 1)}, "bad volume").find("volume identifier"), std::string::npos);
}

} // namespace
} // namespace isorelink
