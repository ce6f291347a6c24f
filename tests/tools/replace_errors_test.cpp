// Every refusal of replace leaves no new image and the source untouched.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "round_trip_support.h"
#include "support/kit_fixtures.h"

namespace isorelink::test {
namespace {

class ReplaceRefuses : public ::testing::Test {
protected:
    void SetUp() override {
        sample = make_sample(ImageKind::Ps2Cd, dir.path().string());
        ASSERT_TRUE(sample);
        kit::ImageRecipe movie;  // a file recorded in several extents
        movie.files.push_back(pattern_file("\\MOVIE.PSS", 5 * 2048, 2 * 2048));
        ASSERT_TRUE(kit::write_image(movie, dir.file("MOVIE.ISO")));
        write_bytes(dir.file("grow"), sample_bytes(9000, 7));
        source_print = fingerprint(sample->path);
    }
    // `replace --quiet` with these arguments, the file size limited when `limit_kib` is not 0.
    CommandResult replace(const std::string& arguments, std::size_t limit_kib = 0) {
        const std::string limit = limit_kib ? "ulimit -f " + std::to_string(limit_kib) + "; " : "";
        return run_command(limit + ISORELINK_CLI + " replace --quiet " + arguments);
    }
    std::string game() const { return shell_quote(sample->path); }
    std::string grow() const { return shell_quote(dir.file("grow")); }

    ScratchDir dir;
    std::optional<SampleImage> sample;
    std::uint64_t source_print = 0;
};

// Arguments with {game}, {movie}, {absent} (images) and {grow}, {missing}, {folder} (local files) to fill in.
struct Refusal {
    const char* name;
    const char* arguments;
    const char* message;
    std::size_t image_lengths_allowed = 0;  // a file size limit stands in for a full disk
    friend void PrintTo(const Refusal& c, std::ostream* out) { *out << c.name; }
};

struct ReplaceRefusal : ReplaceRefuses, ::testing::WithParamInterface<Refusal> {
    std::string filled(std::string text) const {
        const std::pair<const char*, std::string> fields[] = {
            {"{game}", game()}, {"{movie}", shell_quote(dir.file("MOVIE.ISO"))},
            {"{absent}", shell_quote(dir.file("ABSENT.ISO"))}, {"{grow}", grow()},
{"{missing}", shell_quote(dir.file("missing"))},
            {"{folder}", shell_quote(dir.path().string())}};
        for (const auto& [field, value] : fields)
            for (std::size_t at; (at = text.find(field)) != std::string::npos;)
                text.replace(at, std::strlen(field), value);
        return text;
    }
};

TEST_P(ReplaceRefusal, LeavesNoNewImageAndTheSourceUntouched) {
    const auto kib = read_bytes(sample->path).size() / 1024;
    const std::size_t limit = GetParam().image_lengths_allowed;
    const auto r = replace(filled(GetParam().arguments), limit == 0 ? 0 : limit * kib + (limit - 1) * 4);
    EXPECT_NE(r.exit_code, 0);
    EXPECT_NE(r.output.find(GetParam().message), std::string::npos) << r.output;
    for (const char* left : {"NEW-GAME.ISO", "NEW-MOVIE.ISO", "NEW-ABSENT.ISO", "GAME.ISO-relink-LSN.TXT"})
        EXPECT_FALSE(exists(dir.file(left))) << left;
    EXPECT_EQ(fingerprint(sample->path), source_print) << "the source image was written";
}

INSTANTIATE_TEST_SUITE_P(
    Replace, ReplaceRefusal,
    ::testing::Values(Refusal{"AnUnknownPath", "{game} /DATA/NOPE.BIN={grow}", "/DATA/NOPE.BIN is not a file in"},
                      Refusal{"AFolderPath", "{game} /DATA={grow}", "is not a file in"},
                      Refusal{"APathNamedTwice", "{game} /DATA/GROW.BIN={grow} 'data\\grow.bin='{grow}",
                              "named more than once"},
                      Refusal{"AMissingLocalFile", "{game} /DATA/GROW.BIN={missing}", "cannot read"},
                      Refusal{"ALocalFolder", "{game} /DATA/GROW.BIN={folder}", "is a folder"},
                      Refusal{"NoLocalFile", "{game} /DATA/GROW.BIN", "expected ISO_PATH=LOCAL_FILE"},
                      Refusal{"AMissingImage", "{absent} /DATA/GROW.BIN={grow}", "cannot open"},
                      Refusal{"AFileInSeveralExtents", "{movie} /MOVIE.PSS={grow}", "several extents"},
                      Refusal{"ADiskFullWhileCopying", "{game} /DATA/GROW.BIN={grow}", "cannot write", 1},
                      Refusal{"ADiskFullWhileAppending", "{game} /DATA/GROW.BIN={grow}", "cannot write", 2}),
    case_name<Refusal>);

TEST_F(ReplaceRefuses, ANewImageLinkedToTheSourceIsRefusedBeforeAByteChanges) {
    std::error_code ec;
    std::filesystem::create_hard_link(sample->path, dir.file("NEW-GAME.ISO"), ec);
    ASSERT_FALSE(ec) << ec.message();
    EXPECT_NE(replace(game() + " /DATA/GROW.BIN=" + grow()).exit_code, 0);
    EXPECT_EQ(fingerprint(sample->path), source_print) << "the source image was written";
    std::filesystem::remove(dir.file("NEW-GAME.ISO"));
    EXPECT_EQ(replace(game() + " /DATA/GROW.BIN=" + grow()).exit_code, 0);
}

} // namespace
} // namespace isorelink::test
