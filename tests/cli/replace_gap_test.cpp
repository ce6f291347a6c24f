// replace grows a file only over zero sectors: bytes no file names (read by sector, a second layer's volume
// descriptors) stay where they are.
#include <algorithm>

#include <gtest/gtest.h>

#include "cli/round_trip_support.h"
#include "format/sector.h"
#include "imagekit/kit_fixtures.h"
#include "support/oracles.h"

namespace isorelink::test {
namespace {

Bytes filled(std::size_t size, char c) { return Bytes(size, static_cast<std::byte>(c)); }

Bytes sectors_of(const Bytes& image, std::uint64_t first, std::uint64_t count) {
    const auto from = image.begin() + static_cast<std::ptrdiff_t>(sector_offset(first));
    return Bytes(from, from + static_cast<std::ptrdiff_t>(sector_offset(count)));
}

struct Replaced {
    CommandResult run;
    Bytes new_image;
};

// `replace IMAGE A.BIN=<content>` beside the image.
Replaced replace_a(const ScratchDir& dir, const Bytes& content) {
    write_bytes(dir.file("A.NEW"), content);
    auto run = run_command(std::string(ISORELINK_CLI) + " replace " + shell_quote(dir.file("GAME.ISO")) + " " +
                           shell_quote("A.BIN=" + dir.file("A.NEW")));
    return {run, run.exit_code == 0 ? read_bytes(dir.file("NEW-GAME.ISO")) : Bytes{}};
}

// What isoinfo and 7-Zip read from the new image: each file's sector and bytes.
void expect_readers_see(const ScratchDir& dir, ImageKind kind, const std::map<std::string, std::uint32_t>& sectors,
                        const std::map<std::string, Bytes>& contents) {
    if (!have_program("isoinfo") || !have_program("7z")) GTEST_SKIP() << "isoinfo and 7z are the independent readers";
    const auto image = dir.file("NEW-GAME.ISO");
    const auto records = by_path(listed_records(image));
    for (const auto& [path, sector] : sectors) {
        ASSERT_TRUE(records.count(slashed(path))) << path;
        EXPECT_EQ(records.at(slashed(path)).sector, sector) << path;
    }
    const auto folder = dir.file("7z-" + kind_name(kind));
    ASSERT_EQ(seven_zip_extract(image, "iso", folder), 0);
    for (const auto& [path, bytes] : contents) EXPECT_EQ(read_bytes(folder + slashed(path)), bytes) << path;
}

TEST(ReplaceGap, SectorsNoFileNamesKeepTheirBytes) {
    // A, B and C one sector each; B's record then names C's sector, so B's old sector holds "B"s that no file names.
    ScratchDir dir;
    kit::ImageRecipe recipe;
    recipe.kind = ImageKind::Ps2Cd;
    for (char c : {'A', 'B', 'C'}) {
        recipe.files.push_back(kit::FileRecipe{});
        recipe.files.back().path = std::string("\\") + c + ".BIN";
        recipe.files.back().content = filled(kSectorSize, c);
    }
    auto built = kit::write_image(recipe, dir.file("GAME.ISO"));
    ASSERT_TRUE(built.ok()) << built.error().message;
    const auto& a = built->extents[0];
    const auto& b = built->extents[1];
    const auto& c = built->extents[2];
    ASSERT_EQ(b.sector, a.sector + 1);
    auto image = read_bytes(dir.file("GAME.ISO"));
    for (int i = 0; i < 4; ++i) {  // both-endian extent field
        image[b.record_offset + 2 + i] = static_cast<std::byte>(c.sector >> (8 * i));
        image[b.record_offset + 9 - i] = static_cast<std::byte>(c.sector >> (8 * i));
    }
    write_bytes(dir.file("GAME.ISO"), image);

    const Bytes grown = sample_bytes(2 * kSectorSize, 7);
    const auto replaced = replace_a(dir, grown);
    ASSERT_EQ(replaced.run.exit_code, 0) << replaced.run.output;
    const std::uint32_t end = built->sector_count;
    EXPECT_NE(replaced.run.output.find("moved    sector " + std::to_string(a.sector) + ", 2048 bytes -> sector " +
                                       std::to_string(end) + ", 4096 bytes  \\A.BIN (sector " +
                                       std::to_string(b.sector) + " holds data no file names)"),
              std::string::npos)
        << replaced.run.output;
    ASSERT_GE(replaced.new_image.size(), sector_offset(end + 2));
    EXPECT_EQ(sectors_of(replaced.new_image, b.sector, 1), filled(kSectorSize, 'B'));
    EXPECT_EQ(sectors_of(replaced.new_image, end, 2), grown);
    const Bytes cs = filled(kSectorSize, 'C');
    expect_readers_see(dir, recipe.kind, {{"\\A.BIN", end}, {"\\B.BIN", c.sector}},
                       {{"\\A.BIN", grown}, {"\\B.BIN", cs}, {"\\C.BIN", cs}});
}

TEST(ReplaceGap, ACopiedDescriptorSetInTheGapStays) {
    // A dual-layer PS2 DVD keeps its second layer's descriptors in such a gap: A at 1000 and B at 1700, the volume
    // descriptors from 16 up to the terminator copied to 1600, the gap before them longer than one read.
    ScratchDir dir;
    kit::ImageRecipe recipe;
    recipe.kind = ImageKind::Ps2Dvd;
    recipe.files = {pattern_file("\\A.BIN", kSectorSize), pattern_file("\\B.BIN", 100)};
    recipe.files[0].sector = 1000;
    recipe.files[1].sector = 1700;
    auto built = kit::write_image(recipe, dir.file("GAME.ISO"));
    ASSERT_TRUE(built.ok()) << built.error().message;
    auto image = read_bytes(dir.file("GAME.ISO"));
    std::uint64_t descriptors = 1;
    while (descriptors < 5 && image[sector_offset(16 + descriptors - 1)] != std::byte{255}) ++descriptors;
    ASSERT_EQ(image[sector_offset(16 + descriptors - 1)], std::byte{255}) << "no terminator";
    const Bytes set = sectors_of(image, 16, descriptors);
    std::copy(set.begin(), set.end(), image.begin() + static_cast<std::ptrdiff_t>(sector_offset(1600)));
    write_bytes(dir.file("GAME.ISO"), image);

    const Bytes fits = sample_bytes(600 * kSectorSize, 5);  // over the zero sectors only
    auto replaced = replace_a(dir, fits);
    ASSERT_EQ(replaced.run.exit_code, 0) << replaced.run.output;
    EXPECT_NE(replaced.run.output.find("in place sector 1000"), std::string::npos) << replaced.run.output;
    EXPECT_EQ(sectors_of(replaced.new_image, 1000, 600), fits);
    EXPECT_EQ(sectors_of(replaced.new_image, 1600, descriptors), set);

    const Bytes too_long = sample_bytes(600 * kSectorSize + 1, 6);
    replaced = replace_a(dir, too_long);
    ASSERT_EQ(replaced.run.exit_code, 0) << replaced.run.output;
    EXPECT_NE(replaced.run.output.find("(sector 1600 holds data no file names)"), std::string::npos)
        << replaced.run.output;
    EXPECT_EQ(sectors_of(replaced.new_image, 1600, descriptors), set);
    const auto verified = run_command(std::string(ISORELINK_CLI) + " verify " + shell_quote(dir.file("NEW-GAME.ISO")));
    EXPECT_EQ(verified.exit_code, 0) << verified.output;
    expect_readers_see(dir, recipe.kind, {{"\\A.BIN", built->sector_count}, {"\\B.BIN", 1700}},
                       {{"\\A.BIN", too_long}});
}

} // namespace
} // namespace isorelink::test
