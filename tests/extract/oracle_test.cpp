#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "format/endian.h"
#include "format/iso9660/layout.h"
#include "format/udf/layout.h"
#include "extract/extraction_job.h"
#include "read/sector_listing.h"
#include "imagekit/kit_fixtures.h"
#include "support/oracles.h"
#include "support/test_support.h"

namespace isorelink {
namespace {

using Extents = std::vector<std::pair<std::uint64_t, std::uint64_t>>;
using test::pattern_file;

// Every listed line points at its directory record (and on a PS2 DVD at its File Entry), and isoinfo
// reads the same extents from the records.
TEST(ExtractionOracle, KitImagesOfEveryKind) {
    using Order = kit::EntryOrder;
    using Optional = kit::OptionalPathTable;
    for (const auto& [kind, order, optional] :
         {std::tuple{ImageKind::Ps2Cd, Order::DataOrder, Optional::NextSector},
          std::tuple{ImageKind::PspUmd, Order::DataOrder, Optional::Zero},
          std::tuple{ImageKind::Ps2Dvd, Order::ReverseDataOrder, Optional::Zero},
          std::tuple{ImageKind::Ps2Dvd, Order::DirectoryOrder, Optional::NextSector}}) {
        test::ScratchDir dir;
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
        recipe.entry_order = order;
        recipe.optional_path_table = optional;
        auto built = kit::write_image(recipe, dir.file("KIT.ISO"));
        ASSERT_TRUE(built) << built.error().message;
        auto summary = run_extraction(dir.prefix(), "KIT.ISO");
        ASSERT_TRUE(summary) << summary.error().message;
        EXPECT_EQ(summary->kind, kind);
        auto lines = host::parse_sector_listing(test::read_text(summary->names.sector_listing), kind);
        ASSERT_TRUE(lines);
        EXPECT_EQ(lines->size(), built->extents.size());

        const auto image = test::read_bytes(dir.file("KIT.ISO"));
        Extents listed;
        for (const auto& line : *lines) {
            listed.emplace_back(line.sector, line.size);
            const auto record = ByteView(image).subspan(line.extent_field - 2);
            EXPECT_EQ(both32(record, iso::dr::kExtent), line.sector) << line.path;
            EXPECT_EQ(both32(record, iso::dr::kDataLength), line.size) << line.path;
            if (kind != ImageKind::Ps2Dvd) continue;
            const auto entry = ByteView(image).subspan(line.descriptor - udf::fe::kShortAllocationDescriptor);
            EXPECT_EQ(le16(entry, udf::tag::kIdentifier), udf::kFileEntry) << line.path;
            const auto position = udf::fe::kShortAllocationDescriptor + udf::short_ad::kExtentPosition;
            EXPECT_EQ(le32(entry, position) + built->partition_start, line.sector) << line.path;
        }
        if (test::have_program("isoinfo")) {
            Extents records;
            for (const auto& r : test::listed_records(dir.file("KIT.ISO"))) records.emplace_back(r.sector, r.size);
            std::sort(listed.begin(), listed.end());
            std::sort(records.begin(), records.end());
            EXPECT_EQ(records, listed);
        }
    }
}

// An image another writer made (genisoimage, given the kind's system id and
// the CD-XA signature) lists the extents isoinfo reads.
TEST(ExtractionOracle, GenisoimageImages) {
    if (!test::have_program("genisoimage") || !test::have_program("isoinfo")) GTEST_SKIP() << "no genisoimage/isoinfo";
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
        Extents listed, records;
        for (const auto& line : *lines) listed.emplace_back(line.sector, line.size);
        for (const auto& r : test::listed_records(image)) records.emplace_back(r.sector, r.size);
        std::sort(listed.begin(), listed.end());
        std::sort(records.begin(), records.end());
        EXPECT_EQ(listed, records) << system;
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
