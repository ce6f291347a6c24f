// mkimage: a host folder becomes a volume with upper-case d-character names;
// names it cannot hold are refused before anything is written.
#include <gtest/gtest.h>

#include <filesystem>

#include "imagekit/image_builder.h"
#include "support/test_support.h"

namespace isorelink::test {
namespace {

TEST(FolderRecipe, NamesAreUpperCasedAndTheImageHoldsTheFiles) {
    ScratchDir scratch;
    std::filesystem::create_directories(scratch.path() / "src" / "data" / "empty");
    write_text(scratch.file("src/system.cnf"), "BOOT2 = cdrom0:\\SLUS_000.01;1\r\n");
    write_text(scratch.file("src/data/my-file.bin"), "payload");
    auto recipe = kit::recipe_from_folder(scratch.file("src"), ImageKind::Ps2Dvd);
    ASSERT_TRUE(recipe.ok()) << recipe.error().message;
    ASSERT_EQ(recipe->files.size(), 2u);
    EXPECT_EQ(recipe->files[0].path, "\\DATA\\MY_FILE.BIN");
    EXPECT_EQ(recipe->files[1].path, "\\SYSTEM.CNF");
    EXPECT_EQ(std::count(recipe->directories.begin(), recipe->directories.end(), "\\DATA\\EMPTY"), 1);
    const auto made = run_command(std::string(ISORELINK_CLI) + " mkimage --kind pspumd " +
                                  shell_quote(scratch.file("src")) + " " + shell_quote(scratch.file("OUT.ISO")));
    EXPECT_EQ(made.exit_code, 0) << made.output;
    EXPECT_NE(run_command("7z x -so " + shell_quote(scratch.file("OUT.ISO")) + " DATA/MY_FILE.BIN").output.find("payload"),
              std::string::npos);
}

TEST(FolderRecipe, UnrepresentableNamesAreRefused) {
    for (const char* name : {"bad@name.bin", "two.dots.bin", "caf\xC3\xA9.txt"}) {
        ScratchDir scratch;
        std::filesystem::create_directories(scratch.path() / "src");
        write_text(scratch.file(std::string("src/") + name), "x");
        const auto r = run_command(std::string(ISORELINK_CLI) + " mkimage --kind ps2cd " +
                                   shell_quote(scratch.file("src")) + " " + shell_quote(scratch.file("BAD.ISO")));
        EXPECT_EQ(r.exit_code, 1) << r.output;
        EXPECT_NE(r.output.find(name), std::string::npos) << r.output;
        EXPECT_FALSE(exists(scratch.file("BAD.ISO")));
    }
    EXPECT_EQ(run_command(std::string(ISORELINK_CLI) + " mkimage --kind ps3 a b").exit_code, 2);
}

} // namespace
} // namespace isorelink::test
