// list --json against independent readers: Python's json parses it; sectors,
// sizes and paths match isoinfo's; each room matches one worked out here from
// the image's bytes: from the file's end to the next sector anything uses,
// over zeros only.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>

#include "round_trip_support.h"
#include "format/endian.h"
#include "support/kit_fixtures.h"
#include "support/oracles.h"

namespace isorelink::test {
namespace {

struct Listed {
    std::uint64_t sector = 0, size = 0, sectors = 0, room = 0, extents = 0;
    std::string path;  // the recorded bytes
};

struct JsonListing {
    bool parsed = false;
    std::string summary;  // "kind image_bytes volume_sectors after medium fits"
    std::vector<Listed> files;
};

// `list --json` through Python's json module: one line per file, the path turned back into its bytes.
JsonListing list_json(const std::string& image) {
    const std::string script =
        "import json, sys\n"
        "d = json.load(sys.stdin)\n"
        "out = sys.stdout.buffer\n"
        "c = d['capacity']\n"
        "out.write(('%s|%d|%d|%d|%s|%s\\n' % (d['kind'], d['image_bytes'], d['volume_sectors'],\n"
        "    d['sectors_after_last_file'], c['medium'], c['fits'])).encode())\n"
        "for f in d['files']:\n"
        "    p = f['path'].encode('latin-1' if f['path_latin1'] else 'utf-8')\n"
        "    out.write(b'%d %d %d %d %d ' % (f['sector'], f['size'], f['sectors'], f['room'], f['extents']) + p + b'\\n')\n";
    const auto r = run_command(std::string(ISORELINK_CLI) + " list --json " + shell_quote(image) + " | python3 -c " +
                               shell_quote(script));
    JsonListing out;
    if (r.exit_code != 0) {
        ADD_FAILURE() << r.output;
        return out;
    }
    std::istringstream lines(r.output);
    std::getline(lines, out.summary);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        Listed f;
        fields >> f.sector >> f.size >> f.sectors >> f.room >> f.extents;
        std::getline(fields >> std::ws, f.path);
        out.files.push_back(f);
    }
    out.parsed = true;
    return out;
}

// The room of the file at `sector` of `size` bytes, worked out the slow way: the first sector after its first
// that a file, a directory, a path table or a UDF structure uses; from its own end up to there only sectors of
// zeros; a file whose first sector another shares has none.
std::uint64_t room_from_image(const std::vector<std::byte>& image, const kit::BuiltImage& built, std::uint64_t sector,
                              std::uint64_t size, const std::string& listing_path) {
    std::set<std::uint64_t> used;
    for (const auto& e : built.extents) {
        if (e.size == 0 || e.listing_path == listing_path) continue;
        const std::uint64_t end = e.sector + (e.size + 2047) / 2048;
        if (e.sector <= sector && end > sector) return 0;
        used.insert(e.sector);
    }
    for (const auto& d : built.directories) used.insert(d.sector);
    const ByteView pvd = ByteView(image).subspan(16 * 2048, 2048);
    for (const std::uint64_t table : {std::uint64_t{le32(pvd, 140)}, std::uint64_t{le32(pvd, 144)},
                                      std::uint64_t{be32(pvd, 148)}, std::uint64_t{be32(pvd, 152)}})
        if (table != 0) used.insert(table);
    if (built.kind == ImageKind::Ps2Dvd) {
        used.insert(built.partition_start);
        for (const auto& e : built.extents) used.insert(e.entry_offset / 2048);
    }
    if (used.count(sector)) return 0;
    const std::uint64_t own_end = sector + (size + 2047) / 2048;
    const auto next = used.upper_bound(sector);
    const bool file_follows = std::any_of(built.extents.begin(), built.extents.end(),
                                          [&](const auto& e) { return e.size != 0 && e.sector > sector; });
    // Behind the last file nothing is taken: what follows it stays.
    std::uint64_t reach = file_follows ? *next : std::min(own_end, next == used.end() ? own_end : *next);
    for (std::uint64_t s = own_end; s < reach; ++s) {
        const auto begin = image.begin() + static_cast<std::ptrdiff_t>(std::min<std::uint64_t>(s * 2048, image.size()));
        const auto end = image.begin() + static_cast<std::ptrdiff_t>(std::min<std::uint64_t>((s + 1) * 2048, image.size()));
        if (std::any_of(begin, end, [](std::byte b) { return b != std::byte{0}; })) {
            reach = s;
            break;
        }
    }
    return reach * 2048 > sector * 2048 + size ? reach * 2048 - sector * 2048 - size : 0;
}

// Files with zero gaps between them, one gap holding a byte no file names, an empty file, a file in three
// extents, and padding behind the last file.
kit::ImageRecipe gapped_recipe(ImageKind kind) {
    kit::ImageRecipe recipe;
    recipe.kind = kind;
    recipe.files = {pattern_file("\\SYSTEM.CNF", 40), pattern_file("\\DATA\\TEXT.BIN", 3000),
                    pattern_file("\\DATA\\HIDDEN.BIN", 5000), pattern_file("\\DATA\\FONT.BIN", 100),
                    pattern_file("\\DATA\\EMPTY.BIN", 0), pattern_file("\\MOVIE\\OPEN.PSS", 3 * 2048 + 5, 2048),
                    pattern_file("\\MOVIE\\LAST.PSS", 7000)};
    recipe.files[2].sector = 400;
    recipe.files[3].sector = 420;
    recipe.files[5].sector = 500;
    recipe.files[1].sector = 300;
    recipe.padding_sectors = 20;
    return recipe;
}

class ListJson : public ::testing::TestWithParam<ImageKind> {};

TEST_P(ListJson, ParsesAndAgreesWithIsoinfoAndWithRoomWorkedOutFromTheImage) {
    ScratchDir dir;
    const std::string image = dir.file("GAME.ISO");
    auto built = kit::write_image(gapped_recipe(GetParam()), image);
    ASSERT_TRUE(built) << built.error().message;
    // A byte no file names, six sectors after HIDDEN.BIN's three: HIDDEN.BIN may grow over five sectors only.
    auto bytes = read_bytes(image);
    bytes[(400 + 3 + 5) * 2048 + 17] = std::byte{0x5A};
    write_bytes(image, bytes);

    const auto listed = list_json(image);
    ASSERT_TRUE(listed.parsed);
    EXPECT_EQ(listed.summary, std::string(to_string(GetParam())) + "|" + std::to_string(bytes.size()) + "|" +
                                  std::to_string(built->sector_count) + (GetParam() == ImageKind::Ps2Dvd ? "|21|" : "|20|") +
                                  (GetParam() == ImageKind::Ps2Cd     ? "74-minute CD"
                                   : GetParam() == ImageKind::Ps2Dvd ? "single-layer DVD-5"
                                                                     : "single-layer UMD") +
                                  "|True");
    ASSERT_EQ(listed.files.size(), 7u);
    EXPECT_TRUE(std::is_sorted(listed.files.begin(), listed.files.end(),
                               [](const Listed& a, const Listed& b) { return a.sector < b.sector; }));
    std::map<std::string, Listed> by_name;
    for (const auto& f : listed.files) by_name[f.path] = f;

    const auto& hidden = by_name.at("\\DATA\\HIDDEN.BIN");
    EXPECT_EQ(hidden.room, 5 * 2048 + (3 * 2048 - 5000));
    EXPECT_EQ(by_name.at("\\DATA\\TEXT.BIN").room, (400 - 300) * 2048 - 3000u);
    EXPECT_EQ(by_name.at("\\MOVIE\\LAST.PSS").room, 4 * 2048 - 7000u);  // the last file: its own sectors only
    const auto& open = by_name.at("\\MOVIE\\OPEN.PSS");
    EXPECT_EQ(open.extents, 4u);
    EXPECT_EQ(open.size, 3 * 2048 + 5u);
    EXPECT_EQ(open.sectors, 4u);
    EXPECT_EQ(open.room, 0u);

    for (const auto& e : built->extents) {
        if (by_name.count(e.iso_path) == 0 || by_name.at(e.iso_path).extents != 1) continue;
        SCOPED_TRACE(e.iso_path);
        const auto& f = by_name.at(e.iso_path);
        EXPECT_EQ(f.sector, e.sector);
        EXPECT_EQ(f.size, e.size);
        EXPECT_EQ(f.room, room_from_image(bytes, *built, e.sector, e.size, e.listing_path));
    }

    if (!have_program("isoinfo")) GTEST_SKIP() << "isoinfo is not installed";
    std::map<std::string, std::pair<std::uint64_t, std::uint64_t>> ours, theirs;
    for (const auto& f : listed.files)
        if (f.extents == 1) ours[slashed(f.path)] = {f.sector, f.size};
    for (const auto& r : listed_records(image))
        if (ours.count(r.path)) theirs[r.path] = {r.sector, r.size};
    EXPECT_EQ(ours, theirs);
    EXPECT_EQ(ours.size(), 6u);
}

INSTANTIATE_TEST_SUITE_P(EveryKind, ListJson, kEveryKind,
                         [](const auto& info) { return kind_name(info.param); });

// Names are kept as the image records them: valid UTF-8 as it is, anything else (Shift-JIS) as one \u00XX per
// byte, marked path_latin1; quotes and control bytes escaped. Python gets every byte back.
TEST(ListJsonNames, ShiftJisUtf8AndQuotesComeBackByteForByte) {
    ScratchDir dir;
    const std::string image = dir.file("GAME.ISO");
    kit::ImageRecipe recipe;
    recipe.kind = ImageKind::Ps2Cd;
    recipe.files = {pattern_file("\\AAAA.BIN", 10), pattern_file("\\BBBB.BIN", 10), pattern_file("\\CCCC.BIN", 10)};
    auto built = kit::write_image(recipe, image);
    ASSERT_TRUE(built);
    auto bytes = read_bytes(image);
    const auto rename = [&](const std::string& path, std::initializer_list<unsigned char> name) {
        for (const auto& e : built->extents)
            if (e.iso_path == path) {
                std::size_t i = e.record_offset + 33;
                for (const auto c : name) bytes[i++] = std::byte{c};
            }
    };
    rename("\\AAAA.BIN", {0x83, 0x65, 0x83, 0x4C});  // "テキ" in Shift-JIS: not UTF-8
    rename("\\BBBB.BIN", {0xC3, 0xA9, 'B', 'B'});    // "é" in UTF-8
    rename("\\CCCC.BIN", {'"', 'C', '\x1F', 'C'});   // a quote; the name rule turns the control byte into '_'
    write_bytes(image, bytes);

    const auto listed = list_json(image);
    ASSERT_TRUE(listed.parsed);
    std::set<std::string> paths;
    for (const auto& f : listed.files) paths.insert(f.path);
    EXPECT_EQ(paths, (std::set<std::string>{"\\\x83\x65\x83\x4C.BIN", "\\\xC3\xA9" "BB.BIN", "\\\"C_C.BIN"}));

    // The image's own path by the same rule.
    const std::string named = dir.file("\x83\x65.ISO");
    std::filesystem::copy_file(image, named);
    const auto r = run_command(std::string(ISORELINK_CLI) + " list --json " + shell_quote(named) +
                               " | python3 -c " +
                               shell_quote("import json, sys\nd = json.load(sys.stdin)\n"
                                           "sys.stdout.buffer.write(d['image'].encode('latin-1' if d['image_latin1'] "
                                           "else 'utf-8'))\n"));
    EXPECT_EQ(r.output, named);
}

TEST(ListCli, TextListingShowsEachFileAndTheSummaryAndRefusesWhatIsNotAnImage) {
    ScratchDir dir;
    auto sample = make_sample(ImageKind::Ps2Cd, dir.path().string());
    ASSERT_TRUE(sample);
    const auto r = run_command(std::string(ISORELINK_CLI) + " list " + shell_quote(sample->path));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    for (const char* text : {"\\DATA\\GROW.BIN", "\\MOVIE\\LAST.PSS", "PS2 CD image, 6 files",
                             "sectors after the last file: ", "capacity: fits a 74-minute CD"})
        EXPECT_NE(r.output.find(text), std::string::npos) << text << "\n" << r.output;

    write_text(dir.file("NOT.ISO"), "not an image");
    const auto bad = run_command(std::string(ISORELINK_CLI) + " list " + shell_quote(dir.file("NOT.ISO")));
    EXPECT_EQ(bad.exit_code, 3) << bad.output;
    EXPECT_EQ(bad.output.rfind("isorelink: ", 0), 0u) << bad.output;
    EXPECT_EQ(run_command(std::string(ISORELINK_CLI) + " list").exit_code, 2);
}

// list warns of the UDF structures it walks, each once named; a File Entry it does not read (its place comes
// from the directory) is verify's to check.
TEST(ListCli, WarnsOfTheUdfDirectoriesAndLeavesTheFileEntriesToVerify) {
    ScratchDir dir;
    auto sample = make_sample(ImageKind::Ps2Dvd, dir.path().string());
    ASSERT_TRUE(sample);
    auto image = read_bytes(sample->path);
    image[image.size() - 2048] = std::byte{0x55};                  // the closing anchor
    image[sample->built.extents.front().entry_offset + 100] = std::byte{0x58};  // a file's entry, past its tag
    write_bytes(sample->path, image);
    const auto r = run_command(std::string(ISORELINK_CLI) + " list " + shell_quote(sample->path));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_NE(r.output.find("isorelink: warning: UDF: sector "), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("UDF: UDF:"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("bad CRC"), std::string::npos) << r.output;
    EXPECT_NE(run_command(std::string(ISORELINK_CLI) + " verify " + shell_quote(sample->path)).output.find("bad CRC"),
              std::string::npos);
}

} // namespace
} // namespace isorelink::test
