// replace refuses what it cannot do with a clear message, never writes the
// source image and never leaves a half-written new image behind.
#include <gtest/gtest.h>

#include "cli/round_trip_support.h"
#include "imagekit/kit_fixtures.h"
#include "support/test_support.h"

namespace isorelink::test {
namespace {

std::string cli() { return ISORELINK_CLI; }

class ReplaceRefuses : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        auto made = make_sample(Maker::Kit, ImageKind::Ps2Cd, dir.path().string(), why);
        if (!made) GTEST_SKIP() << why;
        sample = *made;
        print = fingerprint(sample.path);
        write_bytes(dir.file("grow"), sample_bytes(9000, 7));
    }
    CommandResult replace(const std::string& arguments, const std::string& limit = "") {
        return run_command(limit + cli() + " replace --quiet " + shell_quote(sample.path) + " " + arguments);
    }
    void expect_refused(const CommandResult& r, const std::string& message) {
        EXPECT_NE(r.exit_code, 0);
        EXPECT_NE(r.output.find(message), std::string::npos) << r.output;
        EXPECT_FALSE(exists(dir.file("NEW-GAME.ISO"))) << "a refused replace left a new image";
        EXPECT_EQ(fingerprint(sample.path), print) << "the source image was written";
    }
    ScratchDir dir;
    SampleImage sample;
    std::uint64_t print = 0;
};

TEST_F(ReplaceRefuses, UnknownPathsNamesTwiceAndUnreadableFiles) {
    expect_refused(replace("/DATA/NOPE.BIN=" + shell_quote(dir.file("grow"))), "/DATA/NOPE.BIN is not a file in");
    expect_refused(replace("/DATA=" + shell_quote(dir.file("grow"))), "is not a file in");  // a folder
    expect_refused(replace("/DATA/GROW.BIN=" + shell_quote(dir.file("grow")) + " 'data\\grow.bin=" +
                           dir.file("grow") + "'"),
                   "named more than once");
    expect_refused(replace("/DATA/GROW.BIN=" + shell_quote(dir.file("missing"))), "cannot read");
    expect_refused(replace("/DATA/GROW.BIN=" + shell_quote(dir.path().string())), "is a folder");
    expect_refused(replace("/DATA/GROW.BIN"), "expected ISO_PATH=LOCAL_FILE");
}

TEST_F(ReplaceRefuses, AMissingImage) {
    const auto r = run_command(cli() + " replace " + shell_quote(dir.file("ABSENT.ISO")) +
                               " /DATA/GROW.BIN=" + shell_quote(dir.file("grow")));
    EXPECT_NE(r.exit_code, 0);
    EXPECT_NE(r.output.find("cannot open"), std::string::npos) << r.output;
    EXPECT_FALSE(exists(dir.file("NEW-ABSENT.ISO")));
}

TEST_F(ReplaceRefuses, AFullDiskLeavesNoNewImage) {
    // A file size limit stands in for a full disk: once while copying the
    // image, once while appending the moved file behind the copy.
    const auto size = read_bytes(sample.path).size();
    expect_refused(replace("/DATA/GROW.BIN=" + shell_quote(dir.file("grow")),
                           "ulimit -f " + std::to_string(size / 1024) + "; "),
                   "cannot write");
    expect_refused(replace("/DATA/GROW.BIN=" + shell_quote(dir.file("grow")),
                           "ulimit -f " + std::to_string(size / 512 + 4) + "; "),
                   "cannot write");
    EXPECT_FALSE(exists(dir.file("GAME.ISO-relink-LSN.TXT")));
    // With room enough the same replace succeeds.
    EXPECT_EQ(replace("/DATA/GROW.BIN=" + shell_quote(dir.file("grow"))).exit_code, 0);
}

TEST(ReplaceRefusesMultiExtent, AFileInSeveralExtents) {
    ScratchDir dir;
    kit::ImageRecipe recipe;
    recipe.kind = ImageKind::Ps2Cd;
    recipe.files.push_back(pattern_file("\\MOVIE.PSS", 5 * 2048));
    recipe.files[0].extent_limit = 2 * 2048;
    auto built = kit::write_image(recipe, dir.file("GAME.ISO"));
    if (!built) GTEST_SKIP() << built.error().message;
    write_bytes(dir.file("new"), sample_bytes(100, 1));
    for (const char* name : {"/MOVIE.PSS", "/MOVIE1.PSS"}) {  // the file's name and a piece's listing name
        const auto r = run_command(cli() + " replace " + shell_quote(dir.file("GAME.ISO")) + " " + name + "=" +
                                   shell_quote(dir.file("new")));
        EXPECT_NE(r.exit_code, 0);
        EXPECT_NE(r.output.find("several extents"), std::string::npos) << r.output;
        EXPECT_FALSE(exists(dir.file("NEW-GAME.ISO")));
    }
}

} // namespace
} // namespace isorelink::test
