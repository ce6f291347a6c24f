// replace --from DIR: a folder that mirrors the image, replaced again and
// again, always from the original image.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sys/stat.h>

#include "round_trip_support.h"
#include "support/kit_fixtures.h"

namespace isorelink::test {
namespace {

namespace fs = std::filesystem;

CommandResult cli(const std::string& arguments) { return run_command(std::string(ISORELINK_CLI) + " " + arguments); }

// The sample's files as `unpack` writes them: folders as folders.
void mirror(const SampleImage& sample, const fs::path& folder) {
    for (const auto& [iso_path, bytes] : sample.contents) {
        std::string relative = iso_path.substr(1);
        std::replace(relative.begin(), relative.end(), '\\', '/');
        fs::create_directories((folder / relative).parent_path());
        write_bytes((folder / relative).string(), bytes);
    }
}

// Every file in a folder tree, relative path -> bytes.
std::map<std::string, Bytes> tree(const fs::path& folder) {
    std::map<std::string, Bytes> files;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (e.is_regular_file()) files[e.path().lexically_relative(folder).string()] = read_bytes(e.path().string());
    return files;
}

struct ReplaceFrom : ::testing::TestWithParam<ImageKind> {
    void SetUp() override {
        fs::create_directories(dir.file("image"));
        sample = make_sample(GetParam(), dir.file("image"));
        ASSERT_TRUE(sample);
        mirror(*sample, dir.file("edits"));
    }
    std::string image() const { return shell_quote(sample->path); }
    std::string edits() const { return shell_quote(dir.file("edits")); }

    ScratchDir dir;
    std::optional<SampleImage> sample;
};

TEST_P(ReplaceFrom, ReplacesOnlyWhatChangedAndASecondRunEqualsAFreshReplaceOfBoth) {
    // Grown past its room, shrunk, and one edited to the same size; SAME.BIN and the rest stay as the image holds them.
    write_bytes(dir.file("edits/DATA/GROW.BIN"), sample_bytes(9000, 11));
    write_bytes(dir.file("edits/DATA/SHRINK.BIN"), sample_bytes(100, 12));
    const auto first = cli("replace " + image() + " --from " + edits());
    ASSERT_EQ(first.exit_code, 0) << first.output;
    EXPECT_NE(first.output.find("moved    sector"), std::string::npos) << first.output;
    EXPECT_NE(first.output.find("\\DATA\\SHRINK.BIN"), std::string::npos);
    EXPECT_EQ(first.output.find("\\DATA\\SAME.BIN"), std::string::npos) << "an unchanged file was replaced";
    EXPECT_NE(first.output.find("4 files of the folder hold the image's bytes"), std::string::npos) << first.output;

    // One more edit; the run starts again from GAME.ISO, not from the NEW-GAME.ISO it wrote before.
    write_bytes(dir.file("edits/DATA/KEEP.BIN"), sample_bytes(5000, 13));
    const auto second = cli("replace " + image() + " --from " + edits());
    ASSERT_EQ(second.exit_code, 0) << second.output;
    const auto again = read_bytes(dir.file("image/NEW-GAME.ISO"));

    fs::create_directories(dir.file("fresh"));
    fs::copy_file(sample->path, dir.file("fresh/GAME.ISO"));
    const auto fresh = cli("replace " + shell_quote(dir.file("fresh/GAME.ISO")) + " /DATA/GROW.BIN=" +
                           shell_quote(dir.file("edits/DATA/GROW.BIN")) + " data/shrink.bin=" +
                           shell_quote(dir.file("edits/DATA/SHRINK.BIN")) + " '\\DATA\\KEEP.BIN=" +
                           dir.file("edits/DATA/KEEP.BIN") + "'");
    ASSERT_EQ(fresh.exit_code, 0) << fresh.output;
    EXPECT_TRUE(again == read_bytes(dir.file("fresh/NEW-GAME.ISO"))) << "the second run differs from a fresh replace";
    EXPECT_EQ(cli("verify " + shell_quote(dir.file("image/NEW-GAME.ISO"))).exit_code, 0);

    // A folder back to the image's bytes gives the image again, not the last edit.
    mirror(*sample, dir.file("edits"));
    const auto undone = cli("replace --quiet " + image() + " --from " + edits());
    ASSERT_EQ(undone.exit_code, 0) << undone.output;
    EXPECT_TRUE(undone.output.empty()) << undone.output;
    const auto listing = read_text(dir.file("image/GAME.ISO-relink-LSN.TXT"));
    EXPECT_EQ(listing, read_text(dir.file("image/GAME.ISO-LSN.TXT"))) << "a file stayed replaced";
}

TEST_P(ReplaceFrom, RefusesFilesTheImageDoesNotHoldAndTheDryRunWritesNothing) {
    write_bytes(dir.file("edits/DATA/GROW.BIN"), sample_bytes(9000, 11));
    write_text(dir.file("edits/DATA/EXTRA.BIN"), "not in the image");
    fs::create_directories(dir.file("elsewhere"));  // a folder linked in is walked too
    write_text(dir.file("elsewhere/X.TXT"), "nor this");
    fs::create_directory_symlink(dir.file("elsewhere"), dir.file("edits/NEWDIR"));
    const auto before = tree(dir.file("image"));
    const auto refused = cli("replace " + image() + " --from " + edits());
    EXPECT_EQ(refused.exit_code, 3);
    EXPECT_NE(refused.output.find("DATA/EXTRA.BIN, NEWDIR/X.TXT"), std::string::npos) << refused.output;
    EXPECT_TRUE(tree(dir.file("image")) == before) << "a refused run left files behind";

    fs::remove(dir.file("edits/DATA/EXTRA.BIN"));
    fs::remove(dir.file("edits/NEWDIR"));
    const auto dry = cli("replace --dry-run " + image() + " --from " + edits() + " /DATA/SHRINK.BIN=" +
                         shell_quote(dir.file("edits/DATA/SAME.BIN")));
    ASSERT_EQ(dry.exit_code, 0) << dry.output;
    EXPECT_NE(dry.output.find("dry run: nothing written"), std::string::npos) << dry.output;
    EXPECT_NE(dry.output.find("\\DATA\\GROW.BIN ("), std::string::npos) << dry.output;  // why it moved
    EXPECT_NE(dry.output.find("bytes of room left"), std::string::npos) << dry.output;  // SHRINK.BIN, in place
    EXPECT_TRUE(tree(dir.file("image")) == before) << "the dry run wrote beside the image";
}

// A folder unpack wrote is trusted without reading only where nobody has written since, and only for the
// image it came from: a same-size edit with its time set back, and the same folder against another image
// whose file differs, are both still seen.
TEST_P(ReplaceFrom, TrustsAnUnpackedFileOnlyUntouchedAndAgainstItsOwnImage) {
    const std::string unpacked = dir.file("unpacked");
    ASSERT_EQ(cli("unpack --quiet " + image() + " " + shell_quote(unpacked)).exit_code, 0);
    const auto edited = unpacked + "/DATA/SHRINK.BIN";
    const auto time = fs::last_write_time(edited);
    auto bytes = read_bytes(edited);
    bytes[0] = static_cast<std::byte>(~std::to_integer<unsigned>(bytes[0]));
    write_bytes(edited, bytes);
    fs::last_write_time(edited, time);
    const auto one = cli("replace " + image() + " --from " + shell_quote(unpacked));
    ASSERT_EQ(one.exit_code, 0) << one.output;
    EXPECT_NE(one.output.find("\\DATA\\SHRINK.BIN"), std::string::npos) << one.output;
    EXPECT_EQ(one.output.find("\\DATA\\KEEP.BIN"), std::string::npos) << one.output;

    // Another image, KEEP.BIN's bytes changed in place: the untouched unpacked KEEP.BIN differs from it.
    fs::create_directories(dir.file("other"));
    write_bytes(dir.file("keep"), sample_bytes(read_bytes(unpacked + "/DATA/KEEP.BIN").size(), 21));
    ASSERT_EQ(cli("replace --quiet " + image() + " /DATA/KEEP.BIN=" + shell_quote(dir.file("keep")) + " --out " +
                  shell_quote(dir.file("other")))
                  .exit_code,
              0);
    const auto other = cli("replace " + shell_quote(dir.file("other/NEW-GAME.ISO")) + " --from " +
                           shell_quote(unpacked));
    ASSERT_EQ(other.exit_code, 0) << other.output;
    EXPECT_NE(other.output.find("\\DATA\\KEEP.BIN"), std::string::npos) << "trusted a file of another image";
}

INSTANTIATE_TEST_SUITE_P(Kinds, ReplaceFrom, kEveryKind, [](const auto& info) { return kind_name(info.param); });

// --out DIR: everything goes to DIR; the image's folder is only read. Running as root,
// permissions stop nothing, so the check is that the folder holds what it held.
TEST(ReplaceOut, WritesEveryOutputInTheOutputFolderAndNothingBesideTheImage) {
    ScratchDir dir;
    fs::create_directories(dir.file("source"));
    auto sample = make_sample(ImageKind::Ps2Dvd, dir.file("source"));
    ASSERT_TRUE(sample);
    write_bytes(dir.file("grow.bin"), sample_bytes(9000, 7));
    fs::permissions(dir.file("source"), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    const auto before = tree(dir.file("source"));
    const std::string game = shell_quote(sample->path);
    const std::string out = " --out " + shell_quote(dir.file("out"));
    for (const std::string& command :
         {"extract" + out + " " + game, "replace" + out + " " + game + " /DATA/GROW.BIN=" + dir.file("grow.bin"),
          "rebuild" + out + " " + game}) {
        const auto r = cli(command);
        EXPECT_EQ(r.exit_code, 0) << command << ": " << r.output;
    }
    fs::permissions(dir.file("source"), fs::perms::owner_all, fs::perm_options::add);
    EXPECT_TRUE(tree(dir.file("source")) == before) << "something was written beside the image";
    for (const char* name : {"GAME.ISO-LSN.TXT", "GAME.ISO-Filelist.txt", "GAME.ISO.xqe", "GAME.ISO-relink-LSN.TXT",
                             "NEW-GAME.ISO"})
        EXPECT_TRUE(exists(dir.file(std::string("out/") + name))) << name;
    EXPECT_FALSE(exists(dir.file("out/GAME.ISO"))) << "the link to the image was left behind";
    EXPECT_EQ(cli("verify " + shell_quote(dir.file("out/NEW-GAME.ISO"))).exit_code, 0);

    // A file of the image's name in DIR that is not the image is the user's: refused, untouched.
    write_text(dir.file("out/GAME.ISO"), "mine");
    const auto taken = cli("extract" + out + " " + game);
    EXPECT_EQ(taken.exit_code, 3);
    EXPECT_NE(taken.output.find("exists and is not"), std::string::npos) << taken.output;
    EXPECT_EQ(read_text(dir.file("out/GAME.ISO")), "mine");
}

// 10,000 changed files of a 50,000-file image: one lookup per file, not a scan of the listing each.
TEST(ReplaceFromScale, TenThousandChangedFilesOfAFiftyThousandFileImage) {
    ScratchDir dir;
    kit::ImageRecipe recipe;
    recipe.kind = ImageKind::Ps2Cd;
    constexpr int kFiles = 50000, kChanged = 10000;
    const auto path_of = [](int i) {
        char name[32];
        std::snprintf(name, sizeof name, "D%02d/F%05d.BIN", i / 1000, i);
        return std::string(name);
    };
    for (int i = 0; i < kFiles; ++i) {
        std::string iso = "\\" + path_of(i);
        std::replace(iso.begin(), iso.end(), '/', '\\');
        recipe.files.push_back(pattern_file(iso, 100));
    }
    // Creating 10,000 files on a busy journalling file system took 20 s where the replace took 2, so the
    // work goes to memory when the system has a memory file system. There the copy also meets a file system
    // that finds a hole by walking every page up to it: asked once per replaced file, that took 13 s.
    const fs::path work = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") / dir.path().filename() : dir.path();
    struct Removed {
        fs::path path;
        ~Removed() {
            std::error_code ec;
            if (path.parent_path() == "/dev/shm") fs::remove_all(path, ec);
        }
    } removed{work};
    fs::create_directories(work);
    const std::string image = (work / "BIG.ISO").string();
    ASSERT_TRUE(kit::write_image(recipe, image));
    const fs::path edits = work / "edits";
    for (int i = 0; i < kChanged; ++i) {
        const auto local = edits / path_of(i * 5);
        fs::create_directories(local.parent_path());
        write_bytes(local.string(), sample_bytes(i % 3 == 0 ? 3000 : 200, i));  // a third outgrow their sector
    }
    const auto started = std::chrono::steady_clock::now();
    const auto r = cli("replace --quiet " + shell_quote(image) + " --from " + shell_quote(edits.string()));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    ASSERT_EQ(r.exit_code, 0) << r.output.substr(0, 2000);
    EXPECT_LT(seconds, 8.0);
    std::cout << "[ measured ] replace --from of " << kChanged << " files in a " << kFiles << "-file image: "
              << seconds << " s\n";
    const auto before = read_text((work / "BIG.ISO-LSN.TXT").string());
    const auto after = read_text((work / "BIG.ISO-relink-LSN.TXT").string());
    std::size_t changed_lines = 0;
    for (std::size_t a = 0, b = 0; a < before.size() && b < after.size();) {
        const auto a_end = before.find('\n', a), b_end = after.find('\n', b);
        changed_lines += before.compare(a, a_end - a, after, b, b_end - b) != 0;
        a = a_end + 1;
        b = b_end + 1;
    }
    EXPECT_EQ(changed_lines, static_cast<std::size_t>(kChanged));
    EXPECT_EQ(cli("verify --quiet " + shell_quote((work / "NEW-BIG.ISO").string())).exit_code, 0);
}

} // namespace
} // namespace isorelink::test
