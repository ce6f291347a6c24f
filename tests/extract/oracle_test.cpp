// The listings against independent readers: for images made by the kit,
// genisoimage and xorriso, every (sector, size) of the sector listing is what
// isoinfo -l and xorriso's report_lba list, every third field minus 2 is a
// directory record holding those values and, for PS2 DVD, every fourth field
// is a File Entry's short allocation descriptor whose extent position plus
// the partition start is the line's sector.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "common/endian.h"
#include "common/iso9660_layout.h"
#include "common/udf_layout.h"
#include "extract/extraction_job.h"
#include "imagekit/image_builder.h"
#include "support/test_support.h"

namespace isorelink {
namespace {

namespace fs = std::filesystem;

struct Line {
    std::uint32_t sector = 0, size = 0;
    std::uint64_t field_offset = 0, descriptor_offset = 0;
    std::string path;
};

std::vector<Line> parse_listing(const std::string& text, ImageKind kind) {
    std::vector<Line> lines;
    std::istringstream in(text);
    std::string row;
    while (std::getline(in, row)) {
        EXPECT_TRUE(!row.empty() && row.back() == '\r');
        row.pop_back();
        Line line;
        std::size_t at = 0;
        auto hex = [&] {
            const auto v = std::stoull(row.substr(at, 8), nullptr, 16);
            EXPECT_EQ(row[at + 8], '|');
            at += 9;
            return v;
        };
        line.sector = static_cast<std::uint32_t>(hex());
        line.size = static_cast<std::uint32_t>(hex());
        line.field_offset = hex();
        if (kind == ImageKind::Ps2Dvd) line.descriptor_offset = hex();
        line.path = row.substr(at);
        lines.push_back(line);
    }
    return lines;
}

using Extents = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

Extents sorted(Extents e) {
    std::sort(e.begin(), e.end());
    return e;
}

// isoinfo lists a file recorded in several extents once, by its last extent.
Extents isoinfo_extents(const std::string& image) {
    const auto out = test::run_command("isoinfo -l -i " + test::shell_quote(image) + " 2>/dev/null").output;
    static const std::regex file_row(R"(^\S+\s+\d+\s+\d+\s+\d+\s+(\d+)\s.*\[\s*(\d+)\s+([0-9A-Fa-f]+)\]\s+(.*)$)");
    Extents extents;
    std::istringstream in(out);
    std::string row;
    while (std::getline(in, row)) {
        std::smatch m;
        if (!std::regex_match(row, m, file_row)) continue;
        if ((std::stoul(m[3].str(), nullptr, 16) & iso::dr::kFlagDirectory) != 0) continue;
        extents.emplace_back(std::stoul(m[2].str()), std::stoul(m[1].str()));
    }
    return sorted(extents);
}

// xorriso reports every extent of a file with the file's whole size.
struct XorrisoFile {
    std::vector<std::uint32_t> sectors;
    std::uint64_t size = 0;
};

std::map<std::string, XorrisoFile> xorriso_files(const std::string& image) {
    const auto out = test::run_command("xorriso -indev " + test::shell_quote(image) +
                                       " -find / -exec report_lba -- 2>/dev/null").output;
    static const std::regex data_row(R"(^File data lba:\s*\d+\s*,\s*(\d+)\s*,\s*\d+\s*,\s*(\d+)\s*,\s*'(.*)'\s*$)");
    std::map<std::string, XorrisoFile> files;
    std::istringstream in(out);
    std::string row;
    while (std::getline(in, row)) {
        std::smatch m;
        if (!std::regex_match(row, m, data_row)) continue;
        auto& file = files[m[3].str()];
        file.sectors.push_back(static_cast<std::uint32_t>(std::stoul(m[1].str())));
        file.size = std::stoull(m[2].str());
    }
    return files;
}

// Extracts, then checks every line against the image's own bytes and the
// oracles. Returns the lines for further checks.
std::vector<Line> check_image(const std::string& folder, const std::string& name, ImageKind kind,
                              std::uint32_t partition_start = 0) {
    auto summary = run_extraction(folder, name);
    EXPECT_TRUE(summary) << (summary ? "" : summary.error().message);
    if (!summary) return {};
    EXPECT_EQ(summary->kind, kind);
    EXPECT_FALSE(test::exists(folder + "tmp.tmp"));
    EXPECT_FALSE(test::exists(folder + "temp1.tmp"));
    const auto lines = parse_listing(test::read_text(summary->names.sector_listing), kind);
    EXPECT_EQ(lines.size(), summary->file_count);
    EXPECT_EQ(test::read_bytes(summary->names.record_file).size(), std::max<std::size_t>(4, 12 * lines.size()));

    const auto image = test::read_bytes(folder + name);
    Extents listed;
    for (const auto& line : lines) {
        listed.emplace_back(line.sector, line.size);
        const auto record = ByteView(image).subspan(line.field_offset - 2);
        EXPECT_EQ(both32(record, iso::dr::kExtent), line.sector) << line.path;
        EXPECT_EQ(both32(record, iso::dr::kDataLength), line.size) << line.path;
        if (kind == ImageKind::Ps2Dvd) {
            const auto entry = ByteView(image).subspan(line.descriptor_offset - udf::fe::kShortAllocationDescriptor);
            EXPECT_EQ(le16(entry, udf::tag::kIdentifier), udf::kFileEntry) << line.path;
            EXPECT_EQ(le32(entry, udf::fe::kShortAllocationDescriptor + udf::short_ad::kExtentPosition) + partition_start,
                      line.sector)
                << line.path;
        }
    }
    EXPECT_TRUE(std::is_sorted(lines.begin(), lines.end(),
                               [](const Line& a, const Line& b) { return a.sector < b.sector; }));
    if (test::have_program("isoinfo")) {
        Extents last_extents;
        for (const auto& line : lines) {
            if ((u8(image, line.field_offset - 2 + iso::dr::kFlags) & iso::dr::kFlagMultiExtent) == 0) {
                last_extents.emplace_back(line.sector, line.size);
            }
        }
        EXPECT_EQ(sorted(last_extents), isoinfo_extents(folder + name)) << name;
    }
    if (test::have_program("xorriso")) {
        std::multimap<std::uint32_t, std::uint32_t> by_sector;
        for (const auto& e : listed) by_sector.emplace(e.first, e.second);
        std::size_t reported = 0;
        for (const auto& [path, file] : xorriso_files(folder + name)) {
            std::uint64_t total = 0;
            for (const auto sector : file.sectors) {
                const auto found = by_sector.find(sector);
                EXPECT_NE(found, by_sector.end()) << path;
                if (found == by_sector.end()) continue;
                total += found->second;
                by_sector.erase(found);
                ++reported;
            }
            EXPECT_EQ(total, file.size) << path;
        }
        EXPECT_EQ(reported, listed.size()) << name;
    }
    return lines;
}

void make_tree(const fs::path& root) {
    fs::create_directories(root / "DATA" / "MOVIE");
    fs::create_directories(root / "EMPTY");
    test::write_text((root / "SYSTEM.CNF").string(), "BOOT2 = cdrom0:\\SLUS_123.45;1\r\n");
    test::write_text((root / "SLUS_123.45").string(), std::string(70000, 'x'));
    test::write_text((root / "DATA" / "A.BIN").string(), std::string(5000, 'a'));
    test::write_text((root / "DATA" / "MOVIE" / "B.PSS").string(), std::string(300, 'b'));
    test::write_text((root / "DATA" / "MOVIE" / "C.PSS").string(), std::string(4096, 'c'));
}

TEST(ExtractionOracle, GenisoimageImages) {
    if (!test::have_program("genisoimage")) GTEST_SKIP() << "genisoimage is not installed";
    test::ScratchDir dir;
    make_tree(dir.path() / "tree");
    const std::string tree = test::shell_quote(dir.file("tree"));
    ASSERT_EQ(test::run_command("genisoimage -quiet -sysid PLAYSTATION -xa -o " + test::shell_quote(dir.file("CD.ISO")) +
                                " " + tree).exit_code, 0);
    ASSERT_EQ(test::run_command("genisoimage -quiet -sysid 'PSP GAME' -xa -o " + test::shell_quote(dir.file("PSP.ISO")) +
                                " " + tree).exit_code, 0);
    const auto cd = check_image(dir.prefix(), "CD.ISO", ImageKind::Ps2Cd);
    EXPECT_EQ(cd.size(), 5u);
    EXPECT_EQ(check_image(dir.prefix(), "PSP.ISO", ImageKind::PspUmd).size(), 5u);
    ASSERT_FALSE(cd.empty());
    EXPECT_EQ(test::read_text(dir.file("CD.ISO-Filelist.txt")).find(" , \\DATA\\MOVIE\\B.PSS\r\n") != std::string::npos,
              true);
}

TEST(ExtractionOracle, XorrisoImagesWithoutAnOptionalPathTable) {
    if (!test::have_program("xorriso")) GTEST_SKIP() << "xorriso is not installed";
    test::ScratchDir dir;
    make_tree(dir.path() / "tree");
    // The application use field (PVD 883) carries "CD-XA001" at 1024.
    {
        std::ofstream use(dir.file("use.bin"), std::ios::binary);
        use << std::string(1024 - 883, ' ') << "CD-XA001";
    }
    for (const auto& [name, system] : {std::pair{"CD.ISO", "PLAYSTATION"}, std::pair{"PSP.ISO", "PSP GAME"}}) {
        const auto made = test::run_command("xorriso -outdev " + test::shell_quote(dir.file(name)) + " -system_id " +
                                            test::shell_quote(system) + " -application_use " +
                                            test::shell_quote(dir.file("use.bin")) + " -map " +
                                            test::shell_quote(dir.file("tree")) + " / 2>&1");
        ASSERT_EQ(made.exit_code, 0) << made.output;
        const auto image = test::read_bytes(dir.file(name));
        EXPECT_EQ(le32(image, iso::kOptionalTypeLPathTableOffset), 0u);  // the wrapping case
        EXPECT_EQ(check_image(dir.prefix(), name, std::string(system) == "PLAYSTATION" ? ImageKind::Ps2Cd
                                                                                       : ImageKind::PspUmd)
                      .size(),
                  5u);
    }
}

kit::FileSpec pattern_file(const std::string& path, std::uint64_t size) {
    kit::FileSpec file;
    file.path = path;
    file.pattern = kit::ContentPattern::Pattern;
    file.size = size;
    return file;
}

kit::ImageSpec kit_spec(ImageKind kind) {
    kit::ImageSpec spec;
    spec.kind = kind;
    spec.files.push_back(pattern_file("\\SYSTEM.CNF", 40));
    spec.files.push_back(pattern_file("\\SLUS_200.01", 9000));
    auto movie = pattern_file("\\DATA\\MOVIE.PSS", 3 * 2048 + 100);
    // One File Entry per listed extent is what a PS2 DVD's listing relies
    // on: pieces only where there is no UDF bridge.
    if (kind != ImageKind::Ps2Dvd) movie.extent_limit = 2048;
    spec.files.push_back(movie);
    auto hidden = pattern_file("\\DATA\\HIDDEN.BIN", 5000);
    hidden.hidden = true;
    spec.files.push_back(hidden);
    spec.files.push_back(pattern_file("\\DATA\\DEEP\\EMPTY.DAT", 0));
    spec.files.push_back(pattern_file("\\DATA\\DEEP\\Z.DAT", 2048));
    spec.directories.push_back("\\NOTHING");
    spec.min_directory_sectors = 2;
    return spec;
}

class KitOracle : public ::testing::TestWithParam<std::tuple<ImageKind, kit::EntryOrder, kit::OptionalPathTable>> {};

TEST_P(KitOracle, ListingMatchesWhatTheKitWrote) {
    const auto [kind, order, optional] = GetParam();
    test::ScratchDir dir;
    auto spec = kit_spec(kind);
    spec.entry_order = order;
    spec.optional_path_table = optional;
    auto built = kit::write_image(spec, dir.file("KIT.ISO"));
    if (!built) GTEST_SKIP() << "the image kit cannot build this image yet: " << built.error().message;

    const auto lines = check_image(dir.prefix(), "KIT.ISO", kind, built->partition_start);
    ASSERT_EQ(lines.size(), built->extents.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto& want = built->extents[i];
        EXPECT_EQ(lines[i].path, want.listing_path);
        EXPECT_EQ(lines[i].sector, want.sector) << want.listing_path;
        EXPECT_EQ(lines[i].size, want.size) << want.listing_path;
        EXPECT_EQ(lines[i].field_offset, want.record_offset + 2) << want.listing_path;
        if (kind == ImageKind::Ps2Dvd) {
            EXPECT_EQ(lines[i].descriptor_offset, want.descriptor_offset) << want.listing_path;
        }
    }
    auto again = run_extraction(dir.prefix(), "KIT.ISO");
    ASSERT_TRUE(again);
    if (kind == ImageKind::Ps2Dvd) {
        EXPECT_EQ(again->descriptor_anchor, std::uint64_t{built->first_file_entry_sector} * 2048 + 308);
    }
    EXPECT_EQ(again->data_start_sector, built->data_start_sector);
}

TEST(KitDvd, FilesInSeveralExtentsAreRefusedNotMisPaired) {
    test::ScratchDir dir;
    auto spec = kit_spec(ImageKind::Ps2Dvd);
    spec.files[2].extent_limit = 2048;
    auto built = kit::write_image(spec, dir.file("KIT.ISO"));
    if (!built) GTEST_SKIP() << "the image kit cannot build this image yet: " << built.error().message;
    auto outcome = run_extraction(dir.prefix(), "KIT.ISO");
    ASSERT_FALSE(outcome);
    EXPECT_EQ(outcome.error().message,
              "Code 1106 - invalid volume structure " + dir.file("KIT.ISO") + " (fewer UDF file entries than files)");
    EXPECT_EQ(test::read_text(dir.file("KIT.ISO-LSN.TXT")), "");
}

INSTANTIATE_TEST_SUITE_P(
    EveryKind, KitOracle,
    ::testing::Values(std::tuple{ImageKind::Ps2Cd, kit::EntryOrder::DataOrder, kit::OptionalPathTable::NextSector},
                      std::tuple{ImageKind::PspUmd, kit::EntryOrder::DataOrder, kit::OptionalPathTable::Zero},
                      std::tuple{ImageKind::Ps2Dvd, kit::EntryOrder::DataOrder, kit::OptionalPathTable::NextSector},
                      std::tuple{ImageKind::Ps2Dvd, kit::EntryOrder::ReverseDataOrder, kit::OptionalPathTable::Zero},
                      std::tuple{ImageKind::Ps2Dvd, kit::EntryOrder::DirectoryOrder,
                                 kit::OptionalPathTable::NextSector}));

} // namespace
} // namespace isorelink
