// The medium an image is meant for: the limits of each kind and the warning
// replace and rebuild give when an image outgrows them.
#include <gtest/gtest.h>

#include <filesystem>

#include "round_trip_support.h"
#include "tools/capacity.h"

namespace isorelink::test {
namespace {

namespace fs = std::filesystem;
using host::capacity_warning;
using host::check_capacity;

TEST(Capacity, EachKindFitsItsSmallestMediumUpToTheLastByteAndNeedsTheNextOneByteLater) {
    struct Case {
        ImageKind kind;
        std::uint64_t small_sectors, large_sectors;
    };
    for (const Case c : {Case{ImageKind::Ps2Cd, 333'000, 360'000}, Case{ImageKind::Ps2Dvd, 2'295'104, 4'173'824},
                         Case{ImageKind::PspUmd, 439'453, 878'906}}) {
        SCOPED_TRACE(std::string(to_string(c.kind)));
        const std::uint64_t small = c.small_sectors * 2048, large = c.large_sectors * 2048;
        EXPECT_EQ(check_capacity(c.kind, small).exceeded, nullptr);
        EXPECT_FALSE(capacity_warning("X.ISO", c.kind, small));

        const auto over_small = check_capacity(c.kind, small + 1);
        ASSERT_NE(over_small.exceeded, nullptr);
        EXPECT_EQ(over_small.exceeded->bytes(), small);
        EXPECT_EQ(over_small.overrun, 1u);
        ASSERT_NE(over_small.fits, nullptr);
        EXPECT_EQ(over_small.fits->bytes(), large);

        EXPECT_EQ(check_capacity(c.kind, large).fits, over_small.fits);
        const auto over_large = check_capacity(c.kind, large + 2048);
        EXPECT_EQ(over_large.fits, nullptr);
        EXPECT_EQ(over_large.exceeded->bytes(), large);
        EXPECT_EQ(over_large.overrun, 2048u);
    }
}

TEST(Capacity, TheWarningNamesTheImageItsSizeTheMediumAndTheOverrun) {
    EXPECT_EQ(*capacity_warning("NEW-GAME.ISO", ImageKind::Ps2Cd, 812'345'344),
              "isorelink: warning: NEW-GAME.ISO is 812,345,344 bytes, 75,065,344 bytes more than an 80-minute CD "
              "holds (737,280,000); no PS2 CD disc holds it");
    EXPECT_EQ(*capacity_warning("NEW.ISO", ImageKind::Ps2Dvd, 4'700'372'993),
              "isorelink: warning: NEW.ISO is 4,700,372,993 bytes, 1 bytes more than a single-layer DVD-5 holds "
              "(4,700,372,992); it needs a dual-layer DVD-9");
    EXPECT_EQ(host::describe_capacity(ImageKind::PspUmd, 1'000'000),
              "fits a single-layer UMD (899,999,744 bytes; 898,999,744 bytes free)");
}

// A PS2 CD whose last file lies past the 80-minute mark, written sparse: the
// rebuild finishes (exit 0) and says how far the image overruns the disc.
TEST(Capacity, RebuildWarnsAboutAnOverFullCdAndStillSucceeds) {
    ScratchDir dir;
    kit::ImageRecipe recipe;
    recipe.kind = ImageKind::Ps2Cd;
    recipe.files.resize(2);
    recipe.files[0].path = "\\SYSTEM.CNF";
    recipe.files[0].content = sample_bytes(40, 1);
    recipe.files[1].path = "\\DATA\\FAR.BIN";
    recipe.files[1].content = sample_bytes(5000, 2);
    recipe.files[1].sector = 360'100;
    const std::string image = dir.file("GAME.ISO");
    ASSERT_TRUE(kit::write_image(recipe, image));
    const std::string cli = std::string(ISORELINK_CLI) + " ";
    ASSERT_EQ(run_command(cli + "extract " + shell_quote(image)).exit_code, 0);
    fs::copy_file(dir.file("GAME.ISO-LSN.TXT"), dir.file("GAME.ISO-relink-LSN.TXT"));
    ASSERT_EQ(run_command("cp --sparse=always " + shell_quote(image) + " " + shell_quote(dir.file("NEW-GAME.ISO")))
                  .exit_code,
              0);

    const auto rebuilt = run_command(cli + "rebuild " + shell_quote(image));
    EXPECT_EQ(rebuilt.exit_code, 0) << rebuilt.output;
    const std::uint64_t size = fs::file_size(dir.file("NEW-GAME.ISO"));
    ASSERT_GT(size, 737'280'000u);
    const std::string expected = "isorelink: warning: " + dir.file("NEW-GAME.ISO") + " is " +
                                 host::with_thousands(size) + " bytes, " + host::with_thousands(size - 737'280'000) +
                                 " bytes more than an 80-minute CD holds (737,280,000)";
    EXPECT_NE(rebuilt.output.find(expected), std::string::npos) << rebuilt.output;
}

} // namespace
} // namespace isorelink::test
