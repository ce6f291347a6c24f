// unpack against 7-Zip (ISO and UDF sides) on kit and genisoimage images:
// the same tree, byte for byte, a file in several extents joined; recording
// dates as modification times; hostile names stay inside the folder; the
// folder's files the user owns are never overwritten unless forced.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>

#include <sys/stat.h>

#include "round_trip_support.h"
#include "support/kit_fixtures.h"
#include "kit/file_content.h"
#include "support/oracles.h"

namespace isorelink::test {
namespace {

namespace fs = std::filesystem;

// Relative path -> content ("<folder>" for a folder), isorelink's record left out.
std::map<std::string, std::string> tree_of(const std::string& root) {
    std::map<std::string, std::string> tree;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const auto relative = fs::relative(entry.path(), root).generic_string();
        if (relative == ".isorelink") continue;
        if (entry.is_directory()) tree[relative] = "<folder>";
        else tree[relative] = read_text(entry.path().string());
    }
    return tree;
}

std::int64_t mtime_of(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return -1;
    return info.st_mtime;
}

CommandResult cli(const std::string& arguments) { return run_command(std::string(ISORELINK_CLI) + " " + arguments); }

class UnpackOracle : public ::testing::TestWithParam<ImageKind> {};

TEST_P(UnpackOracle, WritesTheTree7ZipWritesWithPiecesJoinedAndRecordingDates) {
    if (!have_program("7z")) GTEST_SKIP() << "7z is the independent reader";
    ScratchDir dir;
    const auto recipe = knobs_recipe(GetParam());
    const std::string image = dir.file("GAME.ISO");
    ASSERT_TRUE(kit::write_image(recipe, image));

    const auto r = cli("unpack --quiet " + shell_quote(image));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    const auto ours = tree_of(dir.file("GAME.ISO-files"));
    // The joined pieces, the hidden file, the empty folder.
    const auto movie = kit::file_content(recipe.files[4]);
    EXPECT_EQ(ours.at("DATA/MOVIE.PSS"), std::string(reinterpret_cast<const char*>(movie.data()), movie.size()));
    EXPECT_EQ(ours.count("HIDDEN.BIN"), 1u);
    EXPECT_EQ(ours.at("EMPTYDIR"), "<folder>");
    EXPECT_EQ(ours.size(), 100u + 11u + 12u);  // the files, and the folders DATA, MANY, EMPTYDIR, D1 ... D9
    // The kit records 2004-06-15 12:00:00 at Greenwich.
    EXPECT_EQ(mtime_of(dir.file("GAME.ISO-files/DATA/MOVIE.PSS")), 1087300800);
    EXPECT_EQ(mtime_of(dir.file("GAME.ISO-files/D1/D2")), 1087300800);

    // Named folders: all that lies in them, empty folders too.
    const auto some = cli("unpack --quiet " + shell_quote(image) + " " + shell_quote(dir.file("some")) +
                          " /d1/d2 '\\EMPTYDIR'");
    ASSERT_EQ(some.exit_code, 0) << some.output;
    const auto part = tree_of(dir.file("some"));
    EXPECT_EQ(part.size(), 11u);  // D1 ... D9, DEEP.TXT, EMPTYDIR
    EXPECT_EQ(part.at("D1/D2/D3/D4/D5/D6/D7/D8/D9/DEEP.TXT"), ours.at("D1/D2/D3/D4/D5/D6/D7/D8/D9/DEEP.TXT"));
    EXPECT_EQ(part.at("EMPTYDIR"), "<folder>");

    ASSERT_EQ(seven_zip_extract(image, "iso", dir.file("7z-iso")), 0);
    EXPECT_EQ(ours, tree_of(dir.file("7z-iso")));
    if (GetParam() != ImageKind::Ps2Dvd) return;
    ASSERT_EQ(seven_zip_extract(image, "udf", dir.file("7z-udf")), 0);
    EXPECT_EQ(ours, tree_of(dir.file("7z-udf")));
}

INSTANTIATE_TEST_SUITE_P(Kit, UnpackOracle, kEveryKind, [](const auto& info) { return kind_name(info.param); });

TEST(UnpackGenisoimage, WritesWhat7ZipWritesWithEachSourceFilesTime) {
    if (!have_program("genisoimage") || !have_program("7z")) GTEST_SKIP() << "genisoimage and 7z are needed";
    ScratchDir dir;
    const std::string source = dir.file("src");
    fs::create_directories(source + "/DATA/DEEP");
    write_bytes(source + "/SYSTEM.CNF", sample_bytes(30, 1));
    write_bytes(source + "/DATA/TEXT.BIN", sample_bytes(70000, 2));
    write_bytes(source + "/DATA/DEEP/FONT.BIN", sample_bytes(2048 * 3, 3));
    write_bytes(source + "/DATA/EMPTY.BIN", {});
    ASSERT_EQ(run_command("TZ=UTC touch -d '2003-02-01 04:05:06' " + shell_quote(source + "/DATA/TEXT.BIN")).exit_code,
              0);
    const std::string image = dir.file("GEN.ISO");
    const auto made = run_command("genisoimage -quiet -o " + shell_quote(image) + " " + shell_quote(source));
    ASSERT_EQ(made.exit_code, 0) << made.output;

    const auto r = cli("unpack --quiet " + shell_quote(image) + " " + shell_quote(dir.file("out")));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    ASSERT_EQ(seven_zip_extract(image, "iso", dir.file("7z")), 0);
    const auto ours = tree_of(dir.file("out"));
    EXPECT_EQ(ours, tree_of(dir.file("7z")));
    EXPECT_EQ(ours.size(), 6u);
    EXPECT_EQ(mtime_of(dir.file("out/DATA/TEXT.BIN")), mtime_of(source + "/DATA/TEXT.BIN"));
    EXPECT_EQ(mtime_of(dir.file("out/DATA/DEEP/FONT.BIN")), mtime_of(source + "/DATA/DEEP/FONT.BIN"));
}

// Identifiers a hostile image may record: "..", names with '/' or '\', a folder named ".". The name rule makes
// them "__", "_" and '_' in place of separators; nothing lands outside the folder.
TEST(UnpackHostileNames, NothingIsWrittenOutsideTheFolder) {
    ScratchDir dir;
    kit::ImageRecipe recipe;
    recipe.kind = ImageKind::Ps2Cd;
    recipe.files = {pattern_file("\\AAAAAAAA.BIN", 100), pattern_file("\\BBBBBBBB.BIN", 200),
                    pattern_file("\\CCCCCCCC.BIN", 300), pattern_file("\\DDDDDDDD.BIN", 400),
                    pattern_file("\\UP\\EEEEEEEE.BIN", 500), pattern_file("\\FFFFFFFF.BIN", 600)};
    const std::string image = dir.file("EVIL.ISO");
    auto built = kit::write_image(recipe, image);
    ASSERT_TRUE(built);
    auto bytes = read_bytes(image);
    const auto rename_record = [&](std::uint64_t record, const std::string& name) {
        bytes[record + 32] = static_cast<std::byte>(name.size());
        for (std::size_t i = 0; i < name.size(); ++i) bytes[record + 33 + i] = static_cast<std::byte>(name[i]);
    };
    for (const auto& e : built->extents) {
        if (e.iso_path == "\\AAAAAAAA.BIN") rename_record(e.record_offset, "..");
        if (e.iso_path == "\\BBBBBBBB.BIN") rename_record(e.record_offset, "..;1");
        if (e.iso_path == "\\CCCCCCCC.BIN") rename_record(e.record_offset, "../../X");
        if (e.iso_path == "\\DDDDDDDD.BIN") rename_record(e.record_offset, "\\..\\Y;1");
        if (e.iso_path == "\\FFFFFFFF.BIN") rename_record(e.record_offset, ".ISORELINK;1");  // the guard's record
    }
    // The folder UP's record in the root, renamed ".": found by its identifier.
    for (std::size_t i = 0; i + 40 < bytes.size(); ++i)
        if (static_cast<char>(bytes[i + 33]) == 'U' && static_cast<char>(bytes[i + 34]) == 'P' &&
            bytes[i + 32] == std::byte{2} && (std::to_integer<int>(bytes[i + 25]) & 2)) {
            rename_record(i, ".");
            break;
        }
    write_bytes(image, bytes);

    fs::create_directories(dir.file("nest/inner"));
    const std::string out = dir.file("nest/inner/out");
    const auto r = cli("unpack --quiet " + shell_quote(image) + " " + shell_quote(out));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    const auto tree = tree_of(out);
    EXPECT_EQ(tree.count("__"), 1u) << r.output;  // ".." and "..;1" name the same file: the second is left out
    EXPECT_EQ(tree.count(".._.._X"), 1u);
    EXPECT_EQ(tree.count("_.._Y"), 1u);
    EXPECT_EQ(tree.count("_/EEEEEEEE.BIN"), 1u);
    EXPECT_NE(r.output.find("recorded twice"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("\\.ISORELINK has the name of isorelink's own record"), std::string::npos) << r.output;
    EXPECT_EQ(read_text(out + "/.isorelink").rfind("isorelink write record 1\n", 0), 0u);
    const auto again = cli("unpack --quiet " + shell_quote(image) + " " + shell_quote(out));
    EXPECT_EQ(again.exit_code, 0) << again.output;  // every file there is still its own
    // Nothing beside the folder, nor above it.
    std::vector<std::string> around;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
        const auto relative = fs::relative(entry.path(), dir.path()).generic_string();
        if (relative.rfind("nest/inner/out", 0) != 0) around.push_back(relative);
    }
    EXPECT_EQ(around, (std::vector<std::string>{"EVIL.ISO", "nest", "nest/inner"}));
}

TEST(UnpackGuard, OverwritesOnlyItsOwnFilesAndNeverFollowsALink) {
    ScratchDir dir;
    auto sample = make_sample(ImageKind::Ps2Cd, dir.path().string());
    ASSERT_TRUE(sample);
    const std::string image = shell_quote(sample->path);
    const std::string out = dir.file("GAME.ISO-files");
    ASSERT_EQ(cli("unpack " + image).exit_code, 0);
    const auto again = cli("unpack " + image);  // its own files, unchanged
    EXPECT_EQ(again.exit_code, 0) << again.output;

    // An edited file is the user's now.
    write_text(out + "/DATA/GROW.BIN", "my translation");
    const auto refused = cli("unpack " + image);
    EXPECT_EQ(refused.exit_code, 3) << refused.output;
    EXPECT_NE(refused.output.find("--force"), std::string::npos) << refused.output;
    EXPECT_EQ(read_text(out + "/DATA/GROW.BIN"), "my translation");

    // Only the named file, with --force.
    const auto forced = cli("unpack --force " + image + " /DATA/GROW.BIN");
    EXPECT_EQ(forced.exit_code, 0) << forced.output;
    const auto grow = sample->contents.at("\\DATA\\GROW.BIN");
    EXPECT_EQ(read_bytes(out + "/DATA/GROW.BIN"), grow);

    // A link where a folder goes stops the run; what it names is untouched.
    fs::create_directories(dir.file("elsewhere"));
    const std::string out2 = dir.file("linked");
    fs::create_directories(out2);
    fs::create_directory_symlink(dir.file("elsewhere"), out2 + "/DATA");
    const auto linked = cli("unpack --force " + image + " " + shell_quote(out2));
    EXPECT_EQ(linked.exit_code, 3) << linked.output;
    EXPECT_NE(linked.output.find("in the way"), std::string::npos) << linked.output;
    EXPECT_TRUE(fs::is_empty(dir.file("elsewhere")));

    // A name the image does not hold, and a folder of it.
    EXPECT_EQ(cli("unpack " + image + " " + shell_quote(dir.file("x")) + " /NOPE").exit_code, 3);
    const auto folder = cli("unpack " + image + " " + shell_quote(dir.file("movie")) + " /movie");
    EXPECT_EQ(folder.exit_code, 0) << folder.output;
    EXPECT_EQ(tree_of(dir.file("movie")).size(), 2u);  // MOVIE and MOVIE/LAST.PSS
    EXPECT_EQ(cli("unpack --help").exit_code, 0);
    EXPECT_EQ(cli("unpack").exit_code, 2);
}

// A cut-short image: refused before anything is written, the file and the sector named.
TEST(UnpackGuard, AFileBeyondTheImagesEndStopsTheRunBeforeItWrites) {
    ScratchDir dir;
    auto sample = make_sample(ImageKind::Ps2Cd, dir.path().string());
    ASSERT_TRUE(sample);
    std::uint32_t last = 0;
    for (const auto& e : sample->built.extents)
        if (e.iso_path == "\\MOVIE\\LAST.PSS") last = e.sector;
    fs::resize_file(sample->path, std::uint64_t{last} * 2048 + 100);
    const auto r = cli("unpack " + shell_quote(sample->path));
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_NE(r.output.find("\\MOVIE\\LAST.PSS lies beyond the end of"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("(sector " + std::to_string(last) + ")"), std::string::npos) << r.output;
    EXPECT_FALSE(exists(dir.file("GAME.ISO-files")));
}

// A folder another tool filled: the refusal names a few of the files in the way and counts the rest.
TEST(UnpackGuard, ManyFilesInTheWayAreCountedNotAllNamed) {
    ScratchDir dir;
    kit::ImageRecipe recipe;
    recipe.kind = ImageKind::PspUmd;
    for (int i = 0; i < 30; ++i) recipe.files.push_back(pattern_file("\\F" + std::to_string(i) + ".BIN", 10));
    const std::string image = dir.file("MANY.ISO");
    ASSERT_TRUE(kit::write_image(recipe, image));
    fs::create_directories(dir.file("out"));
    for (int i = 0; i < 30; ++i) write_text(dir.file("out/F" + std::to_string(i) + ".BIN"), "theirs");
    const auto r = cli("unpack " + shell_quote(image) + " " + shell_quote(dir.file("out")));
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_NE(r.output.find(" and 25 more exist and isorelink did not write them"), std::string::npos) << r.output;
    EXPECT_LT(r.output.size(), 1000u) << r.output;
    EXPECT_EQ(read_text(dir.file("out/F7.BIN")), "theirs");
}

} // namespace
} // namespace isorelink::test
