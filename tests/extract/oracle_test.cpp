#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "format/endian.h"
#include "format/iso9660/layout.h"
#include "format/udf/layout.h"
#include "extract/extraction_job.h"
#include "read/sector_listing.h"
#include "support/kit_fixtures.h"
#include "support/oracles.h"
#include "support/test_support.h"

namespace isorelink {
namespace {

using Extents = std::vector<std::pair<std::uint64_t, std::uint64_t>>;
using test::pattern_file;

// The extents the listing names, and those isoinfo reads from the records; each sorted.
Extents listed_extents(const std::vector<host::ListingLine>& lines) {
    Extents out;
    for (const auto& line : lines) out.emplace_back(line.sector, line.size);
    std::sort(out.begin(), out.end());
    return out;
}

Extents isoinfo_extents(const std::string& image) {
    Extents out;
    for (const auto& r : test::listed_records(image)) out.emplace_back(r.sector, r.size);
    std::sort(out.begin(), out.end());
    return out;
}

// A kit image with its entry order and optional path table.
struct KitCase {
    const char* name;
    ImageKind kind;
    kit::EntryOrder order;
    kit::OptionalPathTable optional;
    friend void PrintTo(const KitCase& c, std::ostream* out) { *out << c.name; }
};

class ExtractionOfKitImages : public ::testing::TestWithParam<KitCase> {
protected:
    void SetUp() override {
        const ImageKind kind = GetParam().kind;
        kit::ImageRecipe recipe;
        recipe.kind = kind;
        recipe.files = {pattern_file("\\SYSTEM.CNF", 40),
                        pattern_file("\\SLUS_200.01", 9000),
                        pattern_file("\\DATA\\MOVIE.PSS", 3 * 2048 + 100, kind == ImageKind::Ps2Dvd ? 0 : 2048),
                        pattern_file("\\DATA\\HIDDEN.BIN", 5000),
                        pattern_file("\\DATA\\DEEP\\EMPTY.DAT", 0),
                        pattern_file("\\DATA\\DEEP\\Z.DAT", 2048)};
        recipe.files[3].hidden = true;
        recipe.directories.push_back("\\NOTHING");
        recipe.min_directory_sectors = 2;
        recipe.entry_order = GetParam().order;
        recipe.optional_path_table = GetParam().optional;
        auto written = kit::write_image(recipe, dir.file("KIT.ISO"));
        ASSERT_TRUE(written) << written.error().message;
        built = *written;
        auto summary = run_extraction(dir.prefix(), "KIT.ISO");
        ASSERT_TRUE(summary) << summary.error().message;
        EXPECT_EQ(summary->kind, kind);
        auto listed = host::parse_sector_listing(test::read_text(summary->names.sector_listing), kind);
        ASSERT_TRUE(listed);
        lines = *listed;
    }
    test::ScratchDir dir;
    kit::BuiltImage built;
    std::vector<host::ListingLine> lines;
};

// Every listed line points at its directory record (and on a PS2 DVD at its File Entry).
TEST_P(ExtractionOfKitImages, ListsEveryExtentAtItsRecordAndEntry) {
    EXPECT_EQ(lines.size(), built.extents.size());
    const auto image = test::read_bytes(dir.file("KIT.ISO"));
    for (const auto& line : lines) {
        const auto record = ByteView(image).subspan(line.extent_field - 2);
        EXPECT_EQ(both32(record, iso::dr::kExtent), line.sector) << line.path;
        EXPECT_EQ(both32(record, iso::dr::kDataLength), line.size) << line.path;
        if (GetParam().kind != ImageKind::Ps2Dvd) continue;
        const auto entry = ByteView(image).subspan(line.descriptor - udf::fe::kShortAllocationDescriptor);
        EXPECT_EQ(le16(entry, udf::tag::kIdentifier), udf::kFileEntry) << line.path;
        const auto position = udf::fe::kShortAllocationDescriptor + udf::short_ad::kExtentPosition;
        EXPECT_EQ(le32(entry, position) + built.partition_start, line.sector) << line.path;
    }
}

TEST_P(ExtractionOfKitImages, IsoinfoReadsTheListedExtents) {
    if (!test::have_program("isoinfo")) GTEST_SKIP() << "isoinfo not installed";
    EXPECT_EQ(isoinfo_extents(dir.file("KIT.ISO")), listed_extents(lines));
}

using Order = kit::EntryOrder;
using Optional = kit::OptionalPathTable;
INSTANTIATE_TEST_SUITE_P(
    Extraction, ExtractionOfKitImages,
    ::testing::Values(KitCase{"Ps2CdWithOptionalTable", ImageKind::Ps2Cd, Order::DataOrder, Optional::NextSector},
                      KitCase{"PspUmdWithoutOptionalTable", ImageKind::PspUmd, Order::DataOrder, Optional::Zero},
                      KitCase{"Ps2DvdEntriesInReverseDataOrder", ImageKind::Ps2Dvd, Order::ReverseDataOrder,
                              Optional::Zero},
                      KitCase{"Ps2DvdEntriesInDirectoryOrder", ImageKind::Ps2Dvd, Order::DirectoryOrder,
                              Optional::NextSector}),
    test::case_name<KitCase>);

// An image another writer made (genisoimage, given the kind's system id and
// the CD-XA signature) lists the extents isoinfo reads.
TEST(ExtractionOracle, GenisoimageImages) {
    if (!test::have_program("genisoimage") || !test::have_program("isoinfo"))
        GTEST_SKIP() << "genisoimage or isoinfo not installed";
    for (const char* system : {"PLAYSTATION", "PSP GAME"}) {
        test::ScratchDir dir;
        const std::string tree = dir.file("tree"), image = dir.file("G.ISO");
        for (const auto& [path, size] : {std::pair{"SYSTEM.CNF", 40}, {"DATA/A.BIN", 9000}, {"DATA/DEEP/B.BIN", 0}}) {
            const auto file = std::filesystem::path(tree) / path;
            std::filesystem::create_directories(file.parent_path());
            test::write_bytes(file.string(), std::vector<std::byte>(static_cast<std::size_t>(size), std::byte{7}));
        }
        const auto made = test::run_command("genisoimage -quiet -sysid " + test::shell_quote(system) + " -o " +
                                            test::shell_quote(image) + " " + test::shell_quote(tree));
        ASSERT_EQ(made.exit_code, 0) << made.output;
        std::fstream(image, std::ios::in | std::ios::out | std::ios::binary).seekp(33792).write("CD-XA001", 8);
        auto summary = run_extraction(dir.prefix(), "G.ISO");
        ASSERT_TRUE(summary) << summary.error().message;
        const auto lines = host::parse_sector_listing(test::read_text(summary->names.sector_listing), summary->kind);
        ASSERT_TRUE(lines);
        EXPECT_EQ(listed_extents(*lines), isoinfo_extents(image)) << system;
    }
}

// A PS2 DVD file in several extents has fewer File Entries than extents: refused.
TEST(KitDvd, FilesInSeveralExtentsAreRefusedNotMisPaired) {
    test::ScratchDir dir;
    ASSERT_TRUE(kit::write_image(test::knobs_recipe(ImageKind::Ps2Dvd), dir.file("KIT.ISO")));
    auto outcome = run_extraction(dir.prefix(), "KIT.ISO");
    ASSERT_FALSE(outcome);
    EXPECT_EQ(outcome.error().message,
              "Code 1106 - invalid volume structure " + dir.file("KIT.ISO") + " (fewer UDF file entries than files)");
}

} // namespace
} // namespace isorelink
