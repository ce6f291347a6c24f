// The whole round trip per kind, checked by readers we did not write: a kit
// image is extracted, copied to NEW-GAME.ISO, one file moved to the end and
// one grown into the gap behind it, the relink list written, the rebuild run.
// xorriso, isoinfo and iso-info must report the new sectors and sizes, 7-Zip (and for
// the DVD 7-Zip's UDF reader, pycdlib's udf_path and udfinfo) the new
// contents; every File Entry and anchor must carry a valid checksum and CRC.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "common/endian.h"
#include "common/sector.h"
#include "common/udf_layout.h"
#include "common/udf_tag.h"
#include "extract/extraction_job.h"
#include "host/sector_listing.h"
#include "imagekit/image_builder.h"
#include "rebuild/hand_image.h"
#include "rebuild/rebuild_job.h"
#include "rebuild/volume_end.h"
#include "support/oracles.h"
#include "support/test_support.h"

namespace isorelink::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::byte>;

Bytes sample(std::size_t size, std::uint32_t seed) {
    Bytes out(size);
    std::uint32_t x = seed * 2654435761u + 7;
    for (auto& b : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<std::byte>(x);
    }
    return out;
}

class RoundTrip : public ::testing::TestWithParam<ImageKind> {
protected:
    std::string source() const { return dir.file("GAME.ISO"); }
    std::string image() const { return dir.file("NEW-GAME.ISO"); }
    std::string out(const std::string& name) const { return dir.file(name); }

    // Builds, extracts, edits and rebuilds; the new contents end up in files_.
    void SetUp() override {
        kind_ = GetParam();
        kit::ImageRecipe recipe;
        recipe.kind = kind_;
        std::uint32_t seed = 0;
        for (const auto& [name, size] : {std::pair{"/SYSTEM.CNF", 40}, {"/DATA/GROW.BIN", 3000}, {"/DATA/NEXT.BIN", 2500},
                                         {"/DATA/MOVE.BIN", 5000}, {"/MOVIE/LAST.PSS", 9000}}) {
            files_[name] = sample(static_cast<std::size_t>(size), ++seed);
            kit::FileRecipe f;
            f.path = name;
            std::replace(f.path.begin(), f.path.end(), '/', '\\');
            f.content = files_[name];
            recipe.files.push_back(std::move(f));
        }
        auto built = kit::write_image(recipe, source());
        ASSERT_TRUE(built) << built.error().message;
        // GROW.BIN gets a gap of three sectors behind it: NEXT.BIN starts later.
        const auto grow = std::find_if(built->extents.begin(), built->extents.end(),
                                       [](const auto& e) { return e.iso_path == "\\DATA\\GROW.BIN"; });
        ASSERT_NE(grow, built->extents.end());
        grow_sector_ = grow->sector;
        recipe.files[2].sector = grow_sector_ + 5;
        for (std::size_t i = 3; i < recipe.files.size(); ++i) recipe.files[i].sector = grow_sector_ + 5 + 4 * (i - 1);
        built = kit::write_image(recipe, source());
        ASSERT_TRUE(built) << built.error().message;

        auto extracted = run_extraction(dir.prefix(), "GAME.ISO");
        ASSERT_TRUE(extracted) << extracted.error().message;
        ASSERT_EQ(extracted->kind, kind_);
        fs::copy_file(source(), image());

        auto lines = host::parse_sector_listing(read_text(dir.file("GAME.ISO-LSN.TXT")), kind_);
        ASSERT_TRUE(lines) << lines.error().message;
        move_sector_ = static_cast<std::uint32_t>(whole_sectors(length_of(image())));
        files_["/DATA/MOVE.BIN"] = sample(7000, 40);
        files_["/DATA/GROW.BIN"] = sample(3 * 2048 + 500, 20);
        for (auto& line : *lines) {
            if (line.path == "\\DATA\\MOVE.BIN") {
                line.sector = move_sector_;
                line.size = 7000;
            } else if (line.path == "\\DATA\\GROW.BIN") {
                ASSERT_EQ(line.sector, grow_sector_);
                line.size = 3 * 2048 + 500;
            }
        }
        // The host's writes: contents in place, the image padded to whole sectors.
        put_bytes(image(), sector_offset(grow_sector_), files_["/DATA/GROW.BIN"]);
        put_bytes(image(), sector_offset(move_sector_), files_["/DATA/MOVE.BIN"]);
        fs::resize_file(image(), sector_offset(move_sector_ + 4));
        write_text(dir.file("GAME.ISO-relink-LSN.TXT"), host::format_sector_listing(*lines, kind_));

        auto rebuilt = run_rebuild(dir.prefix(), "GAME.ISO");
        ASSERT_TRUE(rebuilt) << rebuilt.error().message;
        EXPECT_EQ(rebuilt->lines_applied, lines->size());
        summary_ = *rebuilt;
    }

    void expect_contents(const std::string& folder, const char* reader) {
        for (const auto& [name, bytes] : files_)
            EXPECT_TRUE(read_bytes(folder + name) == bytes) << reader << " gives other contents for " << name;
    }

    ImageKind kind_ = ImageKind::Ps2Cd;
    std::map<std::string, Bytes> files_;
    std::uint32_t grow_sector_ = 0;
    std::uint32_t move_sector_ = 0;
    RebuildSummary summary_;
    ScratchDir dir;
};

TEST_P(RoundTrip, XorrisoIsoinfoAndIsoInfoReportTheNewPlaces) {
    for (const char* program : {"xorriso", "isoinfo", "iso-info"}) {
        if (!have_program(program)) continue;
        const auto report = by_path(std::string(program) == "xorriso" ? xorriso_extents(image())
                                                                      : listed_records(image(), std::string(program) == "iso-info"));
        ASSERT_TRUE(report.count("/DATA/MOVE.BIN") && report.count("/DATA/GROW.BIN")) << program;
        EXPECT_EQ(report.at("/DATA/MOVE.BIN").sector, move_sector_) << program;
        EXPECT_EQ(report.at("/DATA/MOVE.BIN").size, 7000u) << program;
        EXPECT_EQ(report.at("/DATA/GROW.BIN").sector, grow_sector_) << program;
        EXPECT_EQ(report.at("/DATA/GROW.BIN").size, 3u * 2048 + 500) << program;
        EXPECT_EQ(report.at("/MOVIE/LAST.PSS").size, 9000u) << program;
    }
}

TEST_P(RoundTrip, SevenZipReadsTheNewContents) {
    if (!have_program("7z")) GTEST_SKIP() << "7z not installed";
    EXPECT_EQ(seven_zip_extract(image(), "iso", out("iso")), 0);
    expect_contents(out("iso"), "7z -tiso");
}

INSTANTIATE_TEST_SUITE_P(EveryKind, RoundTrip, ::testing::Values(ImageKind::Ps2Cd, ImageKind::Ps2Dvd, ImageKind::PspUmd),
                         [](const auto& info) {
                             return std::string(info.param == ImageKind::Ps2Cd    ? "Ps2Cd"
                                                : info.param == ImageKind::Ps2Dvd ? "Ps2Dvd"
                                                                                  : "PspUmd");
                         });

// The UDF side exists on a PS2 DVD only.
class DvdRoundTrip : public RoundTrip {};

TEST_P(DvdRoundTrip, UdfReadersAcceptTheVolumeAndReadTheNewContents) {
    if (have_program("7z")) {
        const auto r = run_command("7z x -y -tudf -o" + shell_quote(out("udf")) + " " + shell_quote(image()));
        EXPECT_NE(r.output.find("Type = Udf"), std::string::npos) << r.output;
        expect_contents(out("udf"), "7z -tudf");
        if (r.exit_code != 0) {
            // 7-Zip looks for the end anchor behind the last file's data through
            // zero sectors only; MOVE.BIN ends where the host's image ended, so
            // the "postgap" marker there stops that search: a headers error and
            // nothing else. Without the marker's seven bytes it must be spotless.
            EXPECT_EQ(r.exit_code, 2) << r.output;
            const auto unmarked = out("UNMARKED.ISO");
            fs::copy_file(image(), unmarked);
            put_bytes(unmarked, sector_offset(move_sector_ + 4), Bytes(kPostGapMarker.size()));
            EXPECT_EQ(seven_zip_extract(unmarked, "udf", out("udf-unmarked")), 0);
        }
    }
    if (have_pycdlib()) {
        std::vector<std::string> paths;
        for (const auto& [name, bytes] : files_) paths.push_back(name);
        EXPECT_TRUE(pycdlib_udf_extract(image(), paths, out("pycdlib")));
        expect_contents(out("pycdlib"), "pycdlib udf_path");
    }
    if (have_program("udfinfo")) {
        const auto r = run_command("udfinfo " + shell_quote(image()));
        EXPECT_EQ(r.exit_code, 0) << r.output;
    }
}

TEST_P(DvdRoundTrip, EntriesAndAnchorsAreSealed) {
    auto lines = host::parse_sector_listing(read_text(dir.file("GAME.ISO-relink-LSN.TXT")), kind_);
    ASSERT_TRUE(lines);
    for (const auto& line : *lines) {
        const auto entry = bytes_at(image(), sector_offset(whole_sectors(line.descriptor)), 2048);
        EXPECT_EQ(le16(entry, udf::tag::kIdentifier), udf::kFileEntry) << line.path;
        EXPECT_TRUE(udf::tag_is_valid(entry)) << line.path;
        EXPECT_EQ(le64(entry, udf::fe::kLogicalBlocksRecorded), sectors_to_hold(line.size)) << line.path;
    }
    const std::uint64_t sectors = whole_sectors(length_of(image()));
    EXPECT_EQ(summary_.volume_size, sectors);
    for (std::uint64_t at : {std::uint64_t{256}, sectors - 1}) {
        const auto anchor = bytes_at(image(), sector_offset(at), 2048);
        EXPECT_EQ(le16(anchor, udf::tag::kIdentifier), udf::kAnchorVolumeDescriptorPointer) << at;
        EXPECT_TRUE(udf::tag_is_valid(anchor)) << at;
    }
}

TEST_P(DvdRoundTrip, PartitionCoversTheMovedFile) {
    const std::uint64_t sectors = whole_sectors(length_of(image()));
    std::vector<std::uint64_t> descriptors;
    for (std::uint64_t at = 32; at < 64; ++at) {
        const auto d = bytes_at(image(), sector_offset(at), 2048);
        if (le16(d, udf::tag::kIdentifier) != udf::kPartitionDescriptor) continue;
        descriptors.push_back(at);
        EXPECT_TRUE(udf::tag_is_valid(d)) << at;
        EXPECT_EQ(le32(d, udf::pd::kStartingLocation), summary_.partition_start);
        EXPECT_EQ(le32(d, udf::pd::kLength), sectors - 1 - summary_.partition_start) << at;
    }
    EXPECT_EQ(descriptors.size(), 2u) << "main and reserve sequence";

    // Why the end step keeps the length in line: with the partition as long
    // as it was, 7-Zip refuses the file that now lies beyond it.
    if (!have_program("7z")) return;
    const auto stale = out("STALE.ISO");
    fs::copy_file(image(), stale);
    for (auto at : descriptors) put_bytes(stale, sector_offset(at), bytes_at(source(), sector_offset(at), 2048));
    const auto r = run_command("7z x -y -tudf -o" + shell_quote(out("stale")) + " " + shell_quote(stale) + " 2>&1");
    EXPECT_NE(r.exit_code, 0) << r.output;
    EXPECT_FALSE(read_bytes(out("stale") + "/DATA/MOVE.BIN") == files_["/DATA/MOVE.BIN"]) << r.output;
}

INSTANTIATE_TEST_SUITE_P(Ps2Dvd, DvdRoundTrip, ::testing::Values(ImageKind::Ps2Dvd));

} // namespace
} // namespace isorelink::test
