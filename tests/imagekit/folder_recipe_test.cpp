// mkimage's input: a host folder becomes a volume with upper-case
// d-character names; names it cannot hold are refused before anything is written.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/sector.h"
#include "imagekit/image_builder.h"
#include "support/test_support.h"

namespace isorelink {
namespace {

TEST(FolderRecipe, NamesAreUpperCasedAndContentsComeFromTheFiles) {
    test::ScratchDir scratch;
    std::filesystem::create_directories(scratch.path() / "src" / "data" / "empty");
    test::write_text(scratch.file("src/system.cnf"), "BOOT2 = cdrom0:\\SLUS_000.01;1\r\n");
    test::write_text(scratch.file("src/data/my-file.bin"), "payload");
    auto recipe = kit::recipe_from_folder(scratch.file("src"), ImageKind::Ps2Dvd);
    ASSERT_TRUE(recipe.ok()) << recipe.error().message;
    ASSERT_EQ(recipe->files.size(), 2u);
    EXPECT_EQ(recipe->files[0].path, "\\DATA\\MY_FILE.BIN");
    EXPECT_EQ(recipe->files[1].path, "\\SYSTEM.CNF");
    EXPECT_NE(std::find(recipe->directories.begin(), recipe->directories.end(), "\\DATA\\EMPTY"), recipe->directories.end());

    std::vector<std::byte> image;
    auto built = kit::build_image(*recipe, image);
    ASSERT_TRUE(built.ok()) << built.error().message;
    for (const auto& e : built->extents) {
        const auto expected = test::read_bytes(recipe->files[e.file_index].host_path);
        const std::vector<std::byte> stored(image.begin() + sector_offset(e.sector),
                                            image.begin() + sector_offset(e.sector) + e.size);
        EXPECT_EQ(stored, expected) << e.iso_path;
    }
}

TEST(FolderRecipe, UnrepresentableNamesAreRefused) {
    for (const char* name : {"bad@name.bin", "two.dots.bin", "caf\xC3\xA9.txt"}) {
        test::ScratchDir scratch;
        std::filesystem::create_directories(scratch.path() / "src");
        test::write_text(scratch.file(std::string("src/") + name), "x");
        auto recipe = kit::recipe_from_folder(scratch.file("src"), ImageKind::Ps2Cd);
        ASSERT_FALSE(recipe.ok()) << name;
        EXPECT_NE(recipe.error().message.find(name), std::string::npos) << recipe.error().message;
    }
    EXPECT_FALSE(kit::recipe_from_folder("/nonexistent/folder", ImageKind::Ps2Cd).ok());
}

TEST(FolderRecipe, MkimageWritesAnImageOrNothing) {
    test::ScratchDir scratch;
    std::filesystem::create_directories(scratch.path() / "src");
    test::write_text(scratch.file("src/readme.txt"), "hello");
    const std::string cli = ISORELINK_CLI;
    const auto made = test::run_command(cli + " mkimage --kind pspumd " + test::shell_quote(scratch.file("src")) + " " +
                                        test::shell_quote(scratch.file("OUT.ISO")) + " 2>&1");
    EXPECT_EQ(made.exit_code, 0) << made.output;
    EXPECT_EQ(test::read_bytes(scratch.file("OUT.ISO")).size() % kSectorSize, 0u);
    EXPECT_GT(test::read_bytes(scratch.file("OUT.ISO")).size(), 0u);

    const auto usage = test::run_command(cli + " mkimage --kind ps3 a b 2>&1");
    EXPECT_EQ(usage.exit_code, 2) << usage.output;
    test::write_text(scratch.file("src/bad name?.txt"), "x");
    const auto refused = test::run_command(cli + " mkimage --kind ps2cd " + test::shell_quote(scratch.file("src")) +
                                           " " + test::shell_quote(scratch.file("BAD.ISO")) + " 2>&1");
    EXPECT_EQ(refused.exit_code, 1) << refused.output;
    EXPECT_NE(refused.output.find("cannot record"), std::string::npos) << refused.output;
    EXPECT_FALSE(test::exists(scratch.file("BAD.ISO")));
}

} // namespace
} // namespace isorelink
