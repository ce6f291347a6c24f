// Listings true to the images users have: deep trees, trimmed dumps and
// Shift-JIS names, each against what isoinfo reads where it reads the image.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include "common/messages.h"
#include "extract/extraction_job.h"
#include "format/iso9660/directory_record.h"
#include "format/listing_line.h"
#include "format/sector.h"
#include "format/udf/file_identifier.h"
#include "format/udf/layout.h"
#include "format/udf/tag.h"
#include "platform/read_handle.h"
#include "read/udf_volume.h"
#include "support/kit_fixtures.h"
#include "kit/image_builder.h"
#include "read/sector_listing.h"
#include "rebuild/rebuild_job.h"
#include "support/oracles.h"
#include "support/test_support.h"
#include "tools/replace_job.h"
#include "tools/verify_image.h"

namespace isorelink {
namespace {

using Extents = std::vector<std::pair<std::uint64_t, std::uint64_t>>;

// genisoimage's PS2 CD image of a tree: the kind's system id and the CD-XA signature added.
std::string make_genisoimage(const test::ScratchDir& dir, const std::string& tree, const std::string& options) {
    const std::string image = dir.file("G.ISO");
    const auto made = test::run_command("genisoimage -quiet -sysid PLAYSTATION " + options + " -o " +
                                        test::shell_quote(image) + " " + test::shell_quote(tree));
    EXPECT_EQ(made.exit_code, 0) << made.output;
    std::fstream(image, std::ios::in | std::ios::out | std::ios::binary).seekp(33792).write("CD-XA001", 8);
    return image;
}

// A chain of `levels` folders of 150-character names, a file at the bottom and one at the top.
std::string deep_tree(const test::ScratchDir& dir, int levels) {
    std::filesystem::path path = dir.file("tree");
    for (int i = 0; i < levels; ++i) path /= "D" + std::to_string(100 + i) + std::string(146, 'X');
    std::filesystem::create_directories(path);
    test::write_text((path / "F.BIN").string(), "deep");
    test::write_text(dir.file("tree") + "/TOP.BIN", "top");
    return dir.file("tree");
}

Extents listed_extents(const ExtractionSummary& summary) {
    Extents extents;
    const auto lines = host::parse_sector_listing(test::read_text(summary.names.sector_listing), summary.kind);
    for (const auto& line : lines.value()) extents.emplace_back(line.sector, line.size);
    std::sort(extents.begin(), extents.end());
    return extents;
}

Extents isoinfo_extents(const std::string& image) {
    Extents extents;
    for (const auto& r : test::listed_records(image)) extents.emplace_back(r.sector, r.size);
    std::sort(extents.begin(), extents.end());
    return extents;
}

TEST(DeepTree, TwelveLevelsOf150CharacterNamesAreListedAndRebuild) {
    if (!test::have_program("genisoimage") || !test::have_program("isoinfo")) GTEST_SKIP() << "no genisoimage/isoinfo";
    test::ScratchDir dir;
    const auto image = make_genisoimage(dir, deep_tree(dir, 12), "-iso-level 4 -D");
    auto summary = run_extraction(dir.prefix(), "G.ISO");
    ASSERT_TRUE(summary) << summary.error().message;
    EXPECT_EQ(listed_extents(*summary), isoinfo_extents(image));
    const std::string listing = test::read_text(summary->names.sector_listing);
    EXPECT_GT(listing.find("\\F.BIN\r\n"), 12u * 151);  // the deep file's line holds its whole path

    // The listing, copied unedited, is a relink list the rebuild accepts.
    test::write_text(dir.file("G.ISO-relink-LSN.TXT"), listing);
    std::filesystem::copy_file(image, dir.file("NEW-G.ISO"));
    const auto rebuilt = run_rebuild(dir.prefix(), "G.ISO");
    ASSERT_TRUE(rebuilt) << rebuilt.error().message;
    EXPECT_EQ(rebuilt->lines_applied, 2u);
}

TEST(DeepTree, LinesLongerThanTheRelinkReaderTakesAreRefusedWith1107) {
    if (!test::have_program("genisoimage")) GTEST_SKIP() << "no genisoimage";
    test::ScratchDir dir;
    make_genisoimage(dir, deep_tree(dir, 14), "-iso-level 4 -D");  // 14 × 151 characters: past 2,019
    const auto summary = run_extraction(dir.prefix(), "G.ISO");
    ASSERT_FALSE(summary);
    EXPECT_EQ(summary.error().message, job_error(msg::kExtractNameTooLong, dir.file("G.ISO")).message);
}

TEST(DeepTree, TheLongestPathALineCarries) {
    // 2,047 characters counting the line feed: the relink reader's whole buffer.
    std::string line;
    append_listing_line(line, true, 1, 2, 3, 4, "\\" + std::string(longest_listed_path(true) - 1, 'P'));
    EXPECT_EQ(line.size(), listing::kLongestLine + 1);  // and the CR
}

TEST(TrimmedDump, GenisoimageImageCutInsideItsLastFile) {
    if (!test::have_program("genisoimage") || !test::have_program("isoinfo")) GTEST_SKIP() << "no genisoimage/isoinfo";
    test::ScratchDir dir;
    const auto tree = dir.file("tree");
    std::filesystem::create_directories(tree + "/DATA");
    test::write_text(tree + "/A.BIN", std::string(3000, 'a'));
    test::write_text(tree + "/DATA/ZLAST.BIN", std::string(100000, 'z'));
    const auto image = make_genisoimage(dir, tree, "");
    const auto records = isoinfo_extents(image);
    const auto last = std::max_element(records.begin(), records.end());
    std::filesystem::resize_file(image, sector_offset(last->first) + 4096);  // two sectors of the last file kept

    auto summary = run_extraction(dir.prefix(), "G.ISO");
    ASSERT_TRUE(summary) << summary.error().message;
    EXPECT_EQ(listed_extents(*summary), isoinfo_extents(image));  // isoinfo reads the cut image's records too

    const auto report = host::verify_image(image);
    ASSERT_TRUE(report) << report.error().message;
    const auto trimmed = std::count_if(report->problems.begin(), report->problems.end(), [](const std::string& p) {
        return p.rfind("\\DATA\\ZLAST.BIN: data past the end of the image: trimmed?", 0) == 0;
    });
    EXPECT_EQ(trimmed, 1);
}

// "ソ" is 83 5C in Shift-JIS: its second byte is the backslash.
TEST(ShiftJisName, SecondByte5CIsListedAsIsAndFoundByReplace) {
    kit::ImageRecipe recipe;
    recipe.kind = ImageKind::Ps2Cd;
    recipe.volume_id = "SJIS";
    recipe.files = {test::pattern_file("\\DATA\\SJ_X.BIN", 3000), test::pattern_file("\\Z.BIN", 10)};
    test::ScratchDir dir;
    const auto built = kit::write_image(recipe, dir.file("G.ISO"));
    ASSERT_TRUE(built) << built.error().message;
    auto bytes = test::read_bytes(dir.file("G.ISO"));
    const std::string plain = "SJ_X.BIN;1";
    const auto at = std::search(bytes.begin(), bytes.end(), plain.begin(), plain.end(),
                                [](std::byte b, char c) { return std::to_integer<char>(b) == c; });
    ASSERT_NE(at, bytes.end());
    at[2] = std::byte{0x83};
    at[3] = std::byte{0x5C};
    test::write_bytes(dir.file("G.ISO"), bytes);
    const std::string name = "\\DATA\\SJ\x83\x5C.BIN";  // "_X" became 83 5C

    auto summary = run_extraction(dir.prefix(), "G.ISO");
    ASSERT_TRUE(summary) << summary.error().message;
    const std::string listing = test::read_text(summary->names.sector_listing);
    EXPECT_NE(listing.find("|" + name + "\r\n"), std::string::npos) << listing;
    if (test::have_program("isoinfo")) {
        EXPECT_EQ(listed_extents(*summary), isoinfo_extents(dir.file("G.ISO")));
    }

    test::write_text(dir.file("NEW.BIN"), std::string(5000, 'n'));
    auto replaced = host::run_replace(dir.file("G.ISO"), {{name, dir.file("NEW.BIN")}}, true, {true, false});
    ASSERT_TRUE(replaced) << replaced.error().message;
    ASSERT_EQ(replaced->files.size(), 1u);
}

// A kit PS2 CD image whose \\DATA holds three files and whose \\MORE holds one.
struct BrokenDirectoryImage {
    test::ScratchDir dir;
    std::vector<std::byte> bytes;
    std::size_t data_directory = 0;  // byte offset of \\DATA's extent

    BrokenDirectoryImage() {
        kit::ImageRecipe recipe;
        recipe.kind = ImageKind::Ps2Cd;
        recipe.files = {test::pattern_file("\\DATA\\A.BIN", 10), test::pattern_file("\\DATA\\B.BIN", 10),
                        test::pattern_file("\\DATA\\C.BIN", 10), test::pattern_file("\\MORE\\D.BIN", 10)};
        const auto built = kit::build_image(recipe, bytes);
        EXPECT_TRUE(built);
        for (const auto& d : built->directories)
            if (d.path == "\\DATA") data_directory = static_cast<std::size_t>(sector_offset(d.sector));
    }

    // Extracts through the CLI: its exit code and what it printed.
    test::CommandResult extract() {
        test::write_bytes(dir.file("G.ISO"), bytes);
        return test::run_command(std::string(ISORELINK_CLI) + " extract --force " + test::shell_quote(dir.file("G.ISO")));
    }
    std::string listed_paths() {
        std::string paths;
        const auto lines = host::parse_sector_listing(test::read_text(dir.file("G.ISO-LSN.TXT")), ImageKind::Ps2Cd);
        for (const auto& line : lines.value()) paths += line.path + "|";
        return paths;
    }
};

TEST(BrokenDirectory, ARecordPastTheRecordedLengthEndsOnlyItsDirectory) {
    BrokenDirectoryImage image;
    // \\DATA's own record says it ends inside B.BIN's record.
    const auto self = decode_directory_record(image.bytes, image.data_directory);
    const auto second = decode_directory_record(image.bytes, image.data_directory + self.length);
    const auto a = decode_directory_record(image.bytes, image.data_directory + self.length + second.length);
    const std::uint32_t cut = self.length + second.length + a.length + 10;
    put_both32(image.bytes, image.data_directory + iso::dr::kDataLength, cut);
    const auto run = image.extract();
    ASSERT_EQ(run.exit_code, 0) << run.output;
    EXPECT_EQ(image.listed_paths(), "\\DATA\\A.BIN|\\MORE\\D.BIN|");
    EXPECT_NE(run.output.find("isorelink: " + job_error(msg::kDirectoryCutShort, "\\DATA").message), std::string::npos)
        << run.output;
}

TEST(BrokenDirectory, AnEmptySelfRecordListsTheOtherDirectories) {
    BrokenDirectoryImage image;
    image.bytes[image.data_directory] = std::byte{0};
    const auto run = image.extract();
    ASSERT_EQ(run.exit_code, 0) << run.output;
    EXPECT_EQ(image.listed_paths(), "\\MORE\\D.BIN|");
    EXPECT_NE(run.output.find("isorelink: " + job_error(msg::kDirectoryWithoutSelfRecord, "\\DATA").message),
              std::string::npos)
        << run.output;
}

// Each DVD line's descriptor lies in the File Entry the UDF directory names for its path.
void expect_descriptors_in_named_entries(const std::string& image, const std::string& listing) {
    auto handle = platform::ReadHandle::open(image);
    ASSERT_TRUE(handle);
    const auto udf = host::read_udf_volume(*handle, whole_sectors(handle->size().value_or(0)));
    ASSERT_TRUE(udf.found);
    std::map<std::string, std::uint32_t> entries;
    for (const auto& f : udf.files) entries[f.path] = f.entry_sector;
    const auto lines = host::parse_sector_listing(listing, ImageKind::Ps2Dvd);
    ASSERT_TRUE(lines);
    for (const auto& line : *lines) {
        ASSERT_EQ(entries.count(line.path), 1u) << line.path;
        EXPECT_EQ(line.descriptor, sector_offset(entries[line.path]) + udf::fe::kShortAllocationDescriptor) << line.path;
    }
}

// The empty file's data comes last on the UDF side, while its record names
// sector 0: by rank, every descriptor column would move by one.
TEST(DvdPairing, AnEmptyFileAtSectorZeroShiftsNoOtherFile) {
    kit::ImageRecipe recipe;
    recipe.kind = ImageKind::Ps2Dvd;
    recipe.files = {test::pattern_file("\\F001.BIN", 3000), test::pattern_file("\\F002.BIN", 5000),
                    test::pattern_file("\\ZEMPTY.BIN", 0)};
    test::ScratchDir dir;
    const auto built = kit::write_image(recipe, dir.file("G.ISO"));
    ASSERT_TRUE(built) << built.error().message;
    auto bytes = test::read_bytes(dir.file("G.ISO"));
    for (const auto& extent : built->extents)
        if (extent.iso_path == "\\ZEMPTY.BIN") put_both32(bytes, extent.record_offset + iso::dr::kExtent, 0);
    test::write_bytes(dir.file("G.ISO"), bytes);

    auto summary = run_extraction(dir.prefix(), "G.ISO");
    ASSERT_TRUE(summary) << summary.error().message;
    const std::string listing = test::read_text(summary->names.sector_listing);
    ASSERT_TRUE(listing.starts_with("00000000|00000000|")) << listing;
    expect_descriptors_in_named_entries(dir.file("G.ISO"), listing);

    // The listing, copied unedited, is a relink list the rebuild accepts,
    // and the files keep their entries.
    test::write_text(dir.file("G.ISO-relink-LSN.TXT"), listing);
    std::filesystem::copy_file(dir.file("G.ISO"), dir.file("NEW-G.ISO"));
    const auto rebuilt = run_rebuild(dir.prefix(), "G.ISO");
    ASSERT_TRUE(rebuilt) << rebuilt.error().message;
    const auto report = host::verify_image(dir.file("NEW-G.ISO"));
    ASSERT_TRUE(report);
    EXPECT_EQ(report->problems, std::vector<std::string>{});
}

TEST(DvdPairing, FilesSharingASectorTakeTheEntriesTheDirectoryNames) {
    kit::ImageRecipe recipe;
    recipe.kind = ImageKind::Ps2Dvd;
    recipe.files = {test::pattern_file("\\A.BIN", 100), test::pattern_file("\\EMPTY1.DAT", 0),
                    test::pattern_file("\\EMPTY2.DAT", 0)};
    test::ScratchDir dir;
    const auto built = kit::write_image(recipe, dir.file("G.ISO"));
    ASSERT_TRUE(built) << built.error().message;
    // Swap which File Entry the directory names for the two empty files.
    auto bytes = test::read_bytes(dir.file("G.ISO"));
    const auto fid_of = [&](const std::string& name) {
        const std::string identifier = "\x08" + name;
        const auto at = std::search(bytes.begin(), bytes.end(), identifier.begin(), identifier.end(),
                                    [](std::byte b, char c) { return std::to_integer<char>(b) == c; });
        EXPECT_NE(at, bytes.end()) << name;
        return static_cast<std::size_t>(at - bytes.begin()) - udf::fid::kFixedSize;
    };
    const std::size_t one = fid_of("EMPTY1.DAT"), two = fid_of("EMPTY2.DAT");
    const std::uint32_t block_one = le32(bytes, one + udf::fid::kIcb + udf::long_ad::kBlock);
    const std::uint32_t block_two = le32(bytes, two + udf::fid::kIcb + udf::long_ad::kBlock);
    put_le32(bytes, one + udf::fid::kIcb + udf::long_ad::kBlock, block_two);
    put_le32(bytes, two + udf::fid::kIcb + udf::long_ad::kBlock, block_one);
    udf::reseal_tag(MutableByteView(bytes).subspan(one, udf::file_identifier_size(ByteView(bytes).subspan(one))));
    udf::reseal_tag(MutableByteView(bytes).subspan(two, udf::file_identifier_size(ByteView(bytes).subspan(two))));
    test::write_bytes(dir.file("G.ISO"), bytes);

    auto summary = run_extraction(dir.prefix(), "G.ISO");
    ASSERT_TRUE(summary) << summary.error().message;
    expect_descriptors_in_named_entries(dir.file("G.ISO"), test::read_text(summary->names.sector_listing));
}

} // namespace
} // namespace isorelink
