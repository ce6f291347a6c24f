#include <gtest/gtest.h>

#include <filesystem>

#include "round_trip_support.h"
#include "support/kit_fixtures.h"

namespace isorelink::test {
namespace {

TEST(ReplaceRefuses, EveryRefusalLeavesNoNewImageAndTheSourceUntouched) {
    ScratchDir dir;
    auto sample = make_sample(ImageKind::Ps2Cd, dir.path().string());
    ASSERT_TRUE(sample);
    kit::ImageRecipe movie;  // a file recorded in several extents
    movie.files.push_back(pattern_file("\\MOVIE.PSS", 5 * 2048, 2 * 2048));
    ASSERT_TRUE(kit::write_image(movie, dir.file("MOVIE.ISO")));
    const auto print = fingerprint(sample->path);
    // Strings are built by appending: GCC 12 at -O3 warns (falsely) about a
    // literal put in front of a temporary string.
    const std::string grow = std::string("=") + shell_quote(dir.file("grow"));
    write_bytes(dir.file("grow"), sample_bytes(9000, 7));
    const auto kib = read_bytes(sample->path).size() / 1024;
    const std::string game = std::string(" ") + shell_quote(sample->path) + " ";
    struct Case {
        std::string arguments;
        const char* message;
        std::size_t limit_kib = 0;
    };
    const Case cases[] = {
        {game + "/DATA/NOPE.BIN" + grow, "/DATA/NOPE.BIN is not a file in"},
        {game + "/DATA" + grow, "is not a file in"},
        {game + "/DATA/GROW.BIN" + grow + " 'data\\grow.bin=" + dir.file("grow") + "'", "named more than once"},
        {game + "/DATA/GROW.BIN=" + shell_quote(dir.file("missing")), "cannot read"},
        {game + "/DATA/GROW.BIN=" + shell_quote(dir.path().string()), "is a folder"},
        {game + "/DATA/GROW.BIN", "expected ISO_PATH=LOCAL_FILE"},
        {std::string(" ") + shell_quote(dir.file("ABSENT.ISO")) + " /DATA/GROW.BIN" + grow, "cannot open"},
        {std::string(" ") + shell_quote(dir.file("MOVIE.ISO")) + " /MOVIE.PSS" + grow, "several extents"},
        // A file size limit stands in for a full disk: while copying, then while appending.
        {game + "/DATA/GROW.BIN" + grow, "cannot write", kib},
        {game + "/DATA/GROW.BIN" + grow, "cannot write", 2 * kib + 4},
    };
    for (const auto& [args, message, limit_kib] : cases) {
        const std::string limit = limit_kib ? "ulimit -f " + std::to_string(limit_kib) + "; " : "";
        const auto r = run_command(limit + ISORELINK_CLI + " replace --quiet" + args);
        EXPECT_NE(r.exit_code, 0) << args;
        EXPECT_NE(r.output.find(message), std::string::npos) << args << ": " << r.output;
        for (const char* left : {"NEW-GAME.ISO", "NEW-MOVIE.ISO", "NEW-ABSENT.ISO", "GAME.ISO-relink-LSN.TXT"})
            EXPECT_FALSE(exists(dir.file(left))) << args;
    }
    std::error_code ec;  // a new image name that links to the source is refused before a byte changes
    std::filesystem::create_hard_link(sample->path, dir.file("NEW-GAME.ISO"), ec);
    EXPECT_TRUE(ec || run_command(ISORELINK_CLI + (" replace --quiet" + game + "/DATA/GROW.BIN" + grow)).exit_code);
    EXPECT_EQ(fingerprint(sample->path), print) << "the source image was written";
    std::filesystem::remove(dir.file("NEW-GAME.ISO"));
    EXPECT_EQ(run_command(ISORELINK_CLI + (" replace --quiet" + game + "/DATA/GROW.BIN" + grow)).exit_code, 0);
}

} // namespace
} // namespace isorelink::test
