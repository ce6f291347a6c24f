// replace run again on the same image: the new image is updated in place,
// and every byte of it is what a fresh replace writes.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "round_trip_support.h"
#include "support/kit_fixtures.h"
#include "platform/file_identity.h"
#include "tools/replace_increment.h"

namespace isorelink::test {
namespace {

namespace fs = std::filesystem;
using host::SectorRange;

CommandResult cli(const std::string& arguments) { return run_command(std::string(ISORELINK_CLI) + " " + arguments); }

constexpr const char* kInPlace = "updated in place";

struct IncrementalReplace : ::testing::TestWithParam<ImageKind> {
    void SetUp() override {
        fs::create_directories(dir.file("image"));
        fs::create_directories(dir.file("fresh"));
        sample = make_sample(GetParam(), dir.file("image"));
        ASSERT_TRUE(sample);
        fs::copy_file(sample->path, dir.file("fresh/GAME.ISO"));
        for (const auto& [iso_path, bytes] : sample->contents) put(iso_path, bytes);
    }

    // Writes a file of the edit folder with a modification time of its own, well in the past: the runs may
    // then remember it, and each edit still changes its time.
    void put(std::string iso_path, const Bytes& bytes) {
        std::replace(iso_path.begin(), iso_path.end(), '\\', '/');
        const std::string path = dir.file("edits" + iso_path);
        fs::create_directories(fs::path(path).parent_path());
        write_bytes(path, bytes);
        fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(1) +
                                      std::chrono::seconds(++edits_made));
    }

    std::string new_image() const { return dir.file("image/NEW-GAME.ISO"); }
    std::string record() const { return host::increment_record_path(new_image()); }

    CommandResult run(const std::string& extra = "") {
        return cli("replace " + extra + shell_quote(sample->path) + " --from " + shell_quote(dir.file("edits")));
    }

    // The same folder replaced into a copy of the image that has no earlier new image.
    Bytes fresh() {
        fs::remove(dir.file("fresh/NEW-GAME.ISO"));
        fs::remove(host::increment_record_path(dir.file("fresh/NEW-GAME.ISO")));
        const auto r = cli("replace " + shell_quote(dir.file("fresh/GAME.ISO")) + " --from " +
                           shell_quote(dir.file("edits")));
        EXPECT_EQ(r.exit_code, 0) << r.output;
        EXPECT_EQ(r.output.find(kInPlace), std::string::npos) << "a fresh replace was not fresh";
        return read_bytes(dir.file("fresh/NEW-GAME.ISO"));
    }

    // The run's result against a fresh replace, and its record against the bytes: every sector where the new
    // image differs from the source lies in a recorded range (else the next run would leave it behind).
    void expect_as_fresh(const CommandResult& r, bool in_place, const std::string& step) {
        ASSERT_EQ(r.exit_code, 0) << step << ": " << r.output;
        EXPECT_EQ(r.output.find(kInPlace) != std::string::npos, in_place) << step << ": " << r.output;
        const Bytes ours = read_bytes(new_image());
        EXPECT_TRUE(ours == fresh()) << step << ": differs from a fresh replace";
        const auto recorded = host::load_increment(record());
        ASSERT_TRUE(recorded) << step << ": no record";
        const Bytes source = read_bytes(sample->path);
        for (std::size_t s = 0; s * 2048 < ours.size(); ++s) {
            const std::size_t at = s * 2048;
            const bool same = at + 2048 <= source.size() &&
                              std::equal(ours.begin() + at, ours.begin() + std::min(at + 2048, ours.size()),
                                         source.begin() + at);
            if (same) continue;
            const bool covered = std::any_of(recorded->differs.begin(), recorded->differs.end(),
                                             [s](const SectorRange& r) { return r.first <= s && s < r.end; });
            EXPECT_TRUE(covered) << step << ": sector " << s << " differs but is not recorded";
        }
        EXPECT_EQ(cli("verify " + shell_quote(new_image())).exit_code, 0) << step;
    }

    ScratchDir dir;
    std::optional<SampleImage> sample;
    int edits_made = 0;
};

TEST_P(IncrementalReplace, EverySequenceOfEditsGivesTheBytesOfAFreshReplace) {
    const Bytes grow = sample->contents.at("\\DATA\\GROW.BIN");
    const Bytes keep = sample->contents.at("\\DATA\\KEEP.BIN");

    put("\\DATA\\GROW.BIN", sample_bytes(9000, 1));  // past its room: moved behind the end
    expect_as_fresh(run(), false, "the first run");
    put("\\DATA\\SHRINK.BIN", sample_bytes(100, 2));
    expect_as_fresh(run(), true, "shrink a second file");
    put("\\DATA\\GROW.BIN", sample_bytes(20000, 3));  // grows again: the tail moves
    expect_as_fresh(run(), true, "grow further");
    put("\\DATA\\GROW.BIN", grow);  // back to the image's bytes: the tail is cut
    expect_as_fresh(run(), true, "revert to the original");
    put("\\DATA\\KEEP.BIN", sample_bytes(keep.size(), 4));  // the same size, other bytes
    expect_as_fresh(run(), true, "edit in place");
    fs::remove(dir.file("edits/DATA/KEEP.BIN"));
    expect_as_fresh(run(), true, "remove it from the folder");
    put("\\DATA\\SHRINK.BIN", sample_bytes(100, 5));  // the size it had, other bytes: only its time tells
    expect_as_fresh(run(), true, "edit with the same size");

    // A dry run reads the record but leaves it alone.
    const std::string before = read_text(record());
    ASSERT_EQ(run("--dry-run ").exit_code, 0);
    EXPECT_EQ(read_text(record()), before);
    expect_as_fresh(run(), true, "after a dry run");
}

TEST_P(IncrementalReplace, AnythingUnexpectedTakesTheFullCopy) {
    put("\\DATA\\GROW.BIN", sample_bytes(9000, 1));
    expect_as_fresh(run(), false, "the first run");

    fs::remove(record());
    put("\\DATA\\SHRINK.BIN", sample_bytes(100, 2));
    expect_as_fresh(run(), false, "record missing");

    // Another image's record: the source it names is not this one.
    auto other = host::load_increment(record());
    ASSERT_TRUE(other);
    other->source.descriptors_hash = "0000000000000000";
    other->differs.clear();  // were it trusted, the moved file's sectors would stay behind
    ASSERT_TRUE(host::save_increment(record(), *other));
    put("\\DATA\\GROW.BIN", sample_bytes(100, 3));
    expect_as_fresh(run("--force "), false, "record of another source");

    // The source touched: its time moved on.
    fs::last_write_time(sample->path, fs::last_write_time(sample->path) + std::chrono::seconds(5));
    fs::last_write_time(dir.file("fresh/GAME.ISO"), fs::last_write_time(sample->path));
    put("\\DATA\\GROW.BIN", sample_bytes(9000, 4));
    expect_as_fresh(run(), false, "source touched");

    // The new image changed by someone else: the guard asks for --force, and the copy starts over.
    {
        auto bytes = read_bytes(new_image());
        bytes[20 * 2048] = std::byte{0x5a};
        write_bytes(new_image(), bytes);
    }
    EXPECT_NE(run().exit_code, 0);
    expect_as_fresh(run("--force "), false, "new image touched");
    expect_as_fresh(run(), true, "and then in place again");

    // isorelink's own rebuild wrote the new image since: the write record vouches for it, the increment
    // record no longer does.
    const auto rebuilt = cli("rebuild " + shell_quote(sample->path));
    ASSERT_EQ(rebuilt.exit_code, 0) << rebuilt.output;
    expect_as_fresh(run(), false, "rebuilt since");
}

// A run that fails once the new image is being updated leaves no record: the next run copies in full.
TEST_P(IncrementalReplace, AFailedRunLeavesNoRecordThatLies) {
    put("\\DATA\\GROW.BIN", sample_bytes(9000, 1));
    expect_as_fresh(run(), false, "the first run");
    fs::remove(dir.file("image/GAME.ISO-relink-LSN.TXT"));
    fs::create_directory(dir.file("image/GAME.ISO-relink-LSN.TXT"));  // written after the image: the run fails there
    put("\\DATA\\GROW.BIN", sample_bytes(300, 2));
    const auto failed = run("--force ");
    EXPECT_NE(failed.exit_code, 0) << failed.output;
    EXPECT_FALSE(exists(record())) << "a record survived a failed update";
    fs::remove(dir.file("image/GAME.ISO-relink-LSN.TXT"));
    expect_as_fresh(run("--force "), false, "after the failure");
}

// The loop as users run it: unpack, edit, replace --from, edit, replace --from. The folder unpack wrote (its
// record of what it wrote included, its files dated as the image dates them) is taken as it is.
TEST_P(IncrementalReplace, AnUnpackedFolderIsTheEditFolder) {
    const std::string unpacked = dir.file("unpacked");
    ASSERT_EQ(cli("unpack --quiet " + shell_quote(sample->path) + " " + shell_quote(unpacked)).exit_code, 0);
    const auto loop = [&](const std::string& step) {
        const auto r = cli("replace " + shell_quote(sample->path) + " --from " + shell_quote(unpacked));
        fs::remove(dir.file("fresh/NEW-GAME.ISO"));
        const auto f = cli("replace " + shell_quote(dir.file("fresh/GAME.ISO")) + " --from " + shell_quote(unpacked));
        EXPECT_EQ(f.exit_code, 0) << f.output;
        EXPECT_TRUE(read_bytes(new_image()) == read_bytes(dir.file("fresh/NEW-GAME.ISO"))) << step;
        return r;
    };
    write_bytes(unpacked + "/DATA/GROW.BIN", sample_bytes(9000, 1));
    const auto first = loop("the first run");
    ASSERT_EQ(first.exit_code, 0) << first.output;
    write_bytes(unpacked + "/DATA/GROW.BIN", sample_bytes(9000, 2));
    const auto second = loop("the second run");
    ASSERT_EQ(second.exit_code, 0) << second.output;
    EXPECT_NE(second.output.find(kInPlace), std::string::npos) << second.output;
}

// A file of the folder is not read again while its size, modification time and change time are those the
// last run saw; a file put back with its old size and modification time (cp -p) is read.
TEST_P(IncrementalReplace, TheFolderIsReadAgainOnlyWhereAFileWasTouched) {
    put("\\DATA\\GROW.BIN", sample_bytes(9000, 1));
    expect_as_fresh(run(), false, "the first run");
    // Files changed within the last two seconds are not remembered: write what a later run would have.
    auto saved = host::load_increment(record());
    ASSERT_TRUE(saved);
    const std::string shrink = dir.file("edits/DATA/SHRINK.BIN");
    const auto describe = [&](const std::string& path, bool same) {
        host::SeenFile seen;
        EXPECT_TRUE(host::stat_file(path, seen.size, seen.mtime));
        seen.changed = platform::change_time(path).value_or(0);
        seen.same = same;
        return seen;
    };
    // SHRINK.BIN is told to hold the image's bytes: a run that trusts the record does not replace it.
    write_bytes(shrink, sample_bytes(sample->contents.at("\\DATA\\SHRINK.BIN").size(), 2));
    saved->folder["DATA/SHRINK.BIN"] = describe(shrink, true);
    ASSERT_TRUE(host::save_increment(record(), *saved));
    const auto trusted = run("--force ");
    ASSERT_EQ(trusted.exit_code, 0) << trusted.output;
    EXPECT_EQ(trusted.output.find("  \\DATA\\SHRINK.BIN\n"), std::string::npos) << "read again: " << trusted.output;

    // The same bytes written again with the remembered modification time: only the change time tells.
    const auto mtime = fs::last_write_time(shrink);
    write_bytes(shrink, sample_bytes(sample->contents.at("\\DATA\\SHRINK.BIN").size(), 3));
    fs::last_write_time(shrink, mtime);
    saved = host::load_increment(record());
    ASSERT_TRUE(saved);
    auto stale = describe(shrink, true);
    stale.changed -= 1'000'000'000;  // as it was before the write
    saved->folder["DATA/SHRINK.BIN"] = stale;
    ASSERT_TRUE(host::save_increment(record(), *saved));
    const auto read_again = run("--force ");
    ASSERT_EQ(read_again.exit_code, 0) << read_again.output;
    EXPECT_NE(read_again.output.find("  \\DATA\\SHRINK.BIN\n"), std::string::npos) << read_again.output;
}

INSTANTIATE_TEST_SUITE_P(Kinds, IncrementalReplace, kEveryKind, [](const auto& info) { return kind_name(info.param); });

// The in-place update on its own: a copy with a changed stretch, a longer tail and a failing overlay.
TEST(UpdateInPlace, RestoresTheRecordedSectorsCutsTheTailAndWritesTheOverlays) {
    ScratchDir dir;
    const Bytes source = sample_bytes(10 * 2048 + 100, 1);
    write_bytes(dir.file("src.iso"), source);
    Bytes target = source;
    std::fill(target.begin() + 2 * 2048, target.begin() + 4 * 2048, std::byte{7});
    target.resize(14 * 2048, std::byte{9});
    write_bytes(dir.file("new.iso"), target);
    const Bytes local = sample_bytes(3000, 2);
    write_bytes(dir.file("local.bin"), local);

    const std::vector<host::Overlay> overlays{{6 * 2048, 2 * 2048, dir.file("local.bin"), 3000},
                                              {12 * 2048, 2048, dir.file("local.bin"), 1000}};
    ASSERT_TRUE(host::update_in_place(dir.file("src.iso"), dir.file("new.iso"), {{2, 4}, {10, 14}}, overlays));
    ASSERT_TRUE(host::write_overlaid_copy(dir.file("src.iso"), dir.file("fresh.iso"), overlays, true));
    EXPECT_TRUE(read_bytes(dir.file("new.iso")) == read_bytes(dir.file("fresh.iso")));

    const auto ranges = host::differing_ranges(dir.file("src.iso"), dir.file("new.iso"),
                                               host::outside_of(13, {{0, 6}, {8, 10}}, {{6, 8}}));
    ASSERT_TRUE(ranges);
    // Sector 10 is the source's partial last one: its bytes are the source's, and the zeros after them are
    // cut with the tail next time. Sectors past the source's end always count.
    EXPECT_EQ(*ranges, (std::vector<SectorRange>{{6, 8}, {11, 13}}));

    const std::vector<host::Overlay> missing{{2048, 2048, dir.file("gone.bin"), 10}};
    EXPECT_FALSE(host::update_in_place(dir.file("src.iso"), dir.file("new.iso"), {}, missing));
}

} // namespace
} // namespace isorelink::test
