// replace --patch: a PPF 3.0 patch, applied by an applier written here from
// the format, and a VCDIFF patch, applied by xdelta3, each turn the original
// image into the new one byte for byte; a grown image's tail included.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "round_trip_support.h"
#include "format/endian.h"
#include "tools/patch.h"

namespace isorelink::test {
namespace {

namespace fs = std::filesystem;

// Applies a PPF 3.0 patch: header "PPF30", method 2, the block check's 1024 bytes skipped when present; then
// records of offset (64-bit little-endian), length, new bytes, and undo bytes when the undo flag is set. With
// `undo` the undo bytes are written instead. Writing past the end lengthens the image, zeros in between.
::testing::AssertionResult apply_ppf(Bytes& image, const Bytes& patch, bool undo = false) {
    if (patch.size() < 60 || std::memcmp(patch.data(), "PPF30", 5) != 0 || patch[5] != std::byte{2})
        return ::testing::AssertionFailure() << "not a PPF 3.0 patch";
    const bool has_undo = patch[58] == std::byte{1};
    if (undo && !has_undo) return ::testing::AssertionFailure() << "no undo bytes";
    std::size_t at = 60 + (patch[57] == std::byte{1} ? 1024 : 0);
    while (at < patch.size()) {
        if (at + 9 > patch.size()) return ::testing::AssertionFailure() << "record cut at " << at;
        const std::uint64_t offset = le64(patch, at);
        const std::size_t n = std::to_integer<std::size_t>(patch[at + 8]);
        const std::size_t record = 9 + n * (has_undo ? 2 : 1);
        if (n == 0 || at + record > patch.size()) return ::testing::AssertionFailure() << "bad record at " << at;
        const std::byte* bytes = patch.data() + at + 9 + (undo ? n : 0);
        if (offset + n > image.size()) image.resize(static_cast<std::size_t>(offset + n));
        std::memcpy(image.data() + offset, bytes, n);
        at += record;
    }
    return ::testing::AssertionSuccess();
}

struct PatchCli : ::testing::Test {
    void SetUp() override {
        sample = make_sample(ImageKind::Ps2Dvd, dir.path().string());
        ASSERT_TRUE(sample);
    }
    CommandResult replace(const std::string& replacement, const std::string& patch, const std::string& extra = "") {
        write_bytes(dir.file("new.bin"), sample_bytes(replacement == "grow" ? 9000 : 2900, 9));
        return run_command(extra + std::string(ISORELINK_CLI) + " replace --quiet " + shell_quote(sample->path) +
                           " /DATA/GROW.BIN=" + shell_quote(dir.file("new.bin")) + " --patch " + shell_quote(patch));
    }
    ScratchDir dir;
    std::optional<SampleImage> sample;
};

TEST_F(PatchCli, PpfTurnsTheOriginalIntoTheGrownImageAndAnEqualLengthOneBack) {
    const auto grown = replace("grow", dir.file("GROW.PPF"));
    ASSERT_EQ(grown.exit_code, 0) << grown.output;
    const auto original = read_bytes(sample->path);
    const auto made = read_bytes(dir.file("NEW-GAME.ISO"));
    ASSERT_GT(made.size(), original.size());  // GROW.BIN moved behind the end
    auto patched = original;
    ASSERT_TRUE(apply_ppf(patched, read_bytes(dir.file("GROW.PPF"))));
    EXPECT_TRUE(patched == made);
    EXPECT_EQ(read_bytes(dir.file("GROW.PPF"))[58], std::byte{0});  // no undo for a longer image

    // In place, the same length: undo bytes come with it and take the image back.
    const auto same = replace("shrink", dir.file("SAME.PPF"), "");
    ASSERT_EQ(same.exit_code, 0) << same.output;
    const auto made_same = read_bytes(dir.file("NEW-GAME.ISO"));
    ASSERT_EQ(made_same.size(), original.size());
    patched = original;
    const auto patch = read_bytes(dir.file("SAME.PPF"));
    ASSERT_TRUE(apply_ppf(patched, patch));
    EXPECT_TRUE(patched == made_same);
    ASSERT_TRUE(apply_ppf(patched, patch, true));
    EXPECT_TRUE(patched == original);
}

TEST_F(PatchCli, XdeltaPatchAppliedByXdelta3GivesTheNewImage) {
    if (!have_program("xdelta3")) GTEST_SKIP() << "xdelta3 is not installed";
    const auto r = replace("grow", dir.file("GROW.xdelta"));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    const auto applied = run_command("xdelta3 -d -s " + shell_quote(sample->path) + " " +
                                     shell_quote(dir.file("GROW.xdelta")) + " " + shell_quote(dir.file("OUT.ISO")));
    ASSERT_EQ(applied.exit_code, 0) << applied.output;
    EXPECT_TRUE(read_bytes(dir.file("OUT.ISO")) == read_bytes(dir.file("NEW-GAME.ISO")));
}

TEST_F(PatchCli, RefusesBeforeWritingAnythingWhenXdelta3IsMissingOrThePatchIsTheUsersOrOfNoKnownType) {
    fs::create_directories(dir.file("empty-path"));
    const auto missing = replace("grow", dir.file("P.xdelta"), "PATH=" + shell_quote(dir.file("empty-path")) + " ");
    EXPECT_EQ(missing.exit_code, 3);
    EXPECT_NE(missing.output.find("isorelink: xdelta3 not found: install it (Debian: apt-get install xdelta3) or "
                                  "write a .ppf patch"),
              std::string::npos)
        << missing.output;
    EXPECT_FALSE(exists(dir.file("NEW-GAME.ISO")));

    write_text(dir.file("MINE.PPF"), "my own patch");
    const auto refused = replace("grow", dir.file("MINE.PPF"));
    EXPECT_EQ(refused.exit_code, 3) << refused.output;
    EXPECT_EQ(read_text(dir.file("MINE.PPF")), "my own patch");
    EXPECT_FALSE(exists(dir.file("NEW-GAME.ISO")));

    EXPECT_EQ(replace("grow", dir.file("P.zip")).exit_code, 3);

    // Its own patch it writes over; a shorter new image it cannot express.
    ASSERT_EQ(replace("grow", dir.file("OWN.PPF")).exit_code, 0);
    EXPECT_EQ(replace("grow", dir.file("OWN.PPF")).exit_code, 0);
    write_bytes(dir.file("short"), Bytes(100, std::byte{1}));
    const auto shrunk = host::write_ppf_patch(sample->path, dir.file("short"), dir.file("S.PPF"));
    ASSERT_FALSE(shrunk);
    EXPECT_NE(shrunk.error().message.find("cannot shorten"), std::string::npos);
}

} // namespace
} // namespace isorelink::test
