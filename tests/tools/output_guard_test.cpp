// The CLI never overwrites or deletes a file it did not write unless told
// (--force), replaces its own outputs freely, and takes back what a failed
// run wrote unless told (--keep).
#include <gtest/gtest.h>

#include <filesystem>

#include "round_trip_support.h"
#include "format/endian.h"
#include "format/iso9660/layout.h"

namespace isorelink::test {
namespace {

namespace fs = std::filesystem;

struct OutputGuardCli : ::testing::Test {
    void SetUp() override {
        sample = make_sample(ImageKind::Ps2Dvd, dir.path().string());
        ASSERT_TRUE(sample);
        write_bytes(dir.file("grow"), sample_bytes(9000, 7));
    }
    CommandResult cli(const std::string& arguments) {
        return run_command(std::string(ISORELINK_CLI) + " " + arguments);
    }
    std::string replace(const std::string& options = "") {
        return "replace --quiet " + options + shell_quote(sample->path) + " /DATA/GROW.BIN=" +
               shell_quote(dir.file("grow"));
    }
    std::string image() const { return shell_quote(sample->path); }

    ScratchDir dir;
    std::optional<SampleImage> sample;
};

TEST_F(OutputGuardCli, UserWorkingFilesBesideTheImageAreRefusedByEveryJobUntilForced) {
    for (const char* name : {"tmp.tmp", "temp1.tmp"}) write_text(dir.file(name), std::string("mine: ") + name);
    for (const std::string& command : {"extract " + image(), "rebuild " + image(), replace()}) {
        const auto r = cli(command);
        EXPECT_EQ(r.exit_code, 3) << command;
        EXPECT_NE(r.output.find(dir.file("tmp.tmp")), std::string::npos) << r.output;
        EXPECT_NE(r.output.find(dir.file("temp1.tmp")), std::string::npos) << r.output;
        EXPECT_NE(r.output.find("--force"), std::string::npos) << r.output;
        EXPECT_EQ(read_text(dir.file("tmp.tmp")), "mine: tmp.tmp") << command;
        EXPECT_EQ(read_text(dir.file("temp1.tmp")), "mine: temp1.tmp") << command;
        EXPECT_FALSE(exists(dir.file("GAME.ISO-LSN.TXT"))) << command;
        EXPECT_FALSE(exists(dir.file("NEW-GAME.ISO"))) << command;
    }
    const auto forced = cli("extract --force " + image());
    EXPECT_EQ(forced.exit_code, 0) << forced.output;
    EXPECT_FALSE(exists(dir.file("tmp.tmp")));
    EXPECT_TRUE(exists(dir.file("GAME.ISO-LSN.TXT")));
}

TEST_F(OutputGuardCli, ReplaceOverwritesItsOwnOutputsFreelyAndTheUsersOnlyWhenForced) {
    ASSERT_EQ(cli(replace()).exit_code, 0);
    const auto again = cli(replace());  // everything beside the image is isorelink's own
    ASSERT_EQ(again.exit_code, 0) << again.output;

    // A hand-edited relink list, then a new image of the user's.
    const std::string relink = dir.file("GAME.ISO-relink-LSN.TXT"), new_image = dir.file("NEW-GAME.ISO");
    for (const std::string& edited : {relink, new_image}) {
        ASSERT_EQ(cli(replace()).exit_code, 0);
        auto bytes = read_bytes(edited);
        bytes[bytes.size() / 2] ^= std::byte{1};  // same size, one bit: only the content tells
        write_bytes(edited, bytes);
        const auto print = fingerprint(edited);
        const auto refused = cli(replace());
        EXPECT_EQ(refused.exit_code, 3);
        EXPECT_NE(refused.output.find(edited + " exists and isorelink did not write it"), std::string::npos)
            << refused.output;
        EXPECT_EQ(fingerprint(edited), print);
        const auto forced = cli(replace("--force "));
        EXPECT_EQ(forced.exit_code, 0) << forced.output;
        EXPECT_NE(fingerprint(edited), print);
    }
}

TEST_F(OutputGuardCli, AFailedRunTakesBackWhatItWroteUnlessKept) {
    auto bytes = read_bytes(sample->path);  // the path table lies beyond the end: the job fails after creating
    put_le32(bytes, iso::kTypeLPathTableOffset, 0x7FFFFFFF);
    write_bytes(sample->path, bytes);
    const auto before = fs::directory_iterator(dir.path());
    const std::size_t files = std::distance(fs::begin(before), fs::end(before));

    for (const std::string& command : {"extract " + image(), replace()}) {
        const auto r = cli(command);
        EXPECT_EQ(r.exit_code, 3);
        EXPECT_NE(r.output.find("removed what the failed run wrote"), std::string::npos) << r.output;
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()),
                  static_cast<std::ptrdiff_t>(files))
            << command;
    }
    const auto kept = cli("extract --keep " + image());
    EXPECT_NE(kept.output.find("kept what the failed run wrote"), std::string::npos) << kept.output;
    EXPECT_TRUE(exists(dir.file("temp1.tmp")));
    const auto rerun = cli("extract " + image());  // what isorelink kept is its own: no refusal
    EXPECT_NE(rerun.output.find("Code 1106"), std::string::npos) << rerun.output;
}

} // namespace
} // namespace isorelink::test
