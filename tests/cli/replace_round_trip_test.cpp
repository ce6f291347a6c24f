// replace + verify on every kind, checked by readers we did not write:
// xorriso's report_lba, isoinfo -l, 7-Zip (ISO and, for PS2 DVD, UDF),
// pycdlib's udf_path and udfinfo.
#include <gtest/gtest.h>

#include <filesystem>

#include "cli/round_trip_support.h"
#include "common/sector.h"
#include "support/test_support.h"

namespace isorelink::test {
namespace {

namespace fs = std::filesystem;

struct Case {
    Maker maker;
    ImageKind kind;
    const char* name;
};

class ReplaceRoundTrip : public ::testing::TestWithParam<Case> {};

std::string cli() { return ISORELINK_CLI; }

Bytes slice(const Bytes& image, std::uint32_t sector, std::size_t size) {
    const auto at = static_cast<std::size_t>(sector_offset(sector));
    if (at + size > image.size()) return {};
    return Bytes(image.begin() + static_cast<std::ptrdiff_t>(at), image.begin() + static_cast<std::ptrdiff_t>(at + size));
}

TEST_P(ReplaceRoundTrip, LargerSmallerAndEqualFilesReachEveryReader) {
    if (!have_program("xorriso") || !have_program("isoinfo") || !have_program("7z"))
        GTEST_SKIP() << "xorriso, isoinfo and 7z are needed as independent readers";
    ScratchDir dir;
    std::string why;
    auto sample = make_sample(GetParam().maker, GetParam().kind, dir.path().string(), why);
    if (!sample) GTEST_SKIP() << why;
    const auto before = xorriso_placements(sample->path);
    ASSERT_EQ(before.size(), 6u) << "xorriso could not read the source image";
    const auto source_print = fingerprint(sample->path);

    // Larger (does not fit before the next file), smaller, equal-sized; three spellings of a path.
    auto expected = sample->contents;
    expected["\\DATA\\GROW.BIN"] = sample_bytes(9000, 11);
    expected["\\DATA\\SHRINK.BIN"] = sample_bytes(1000, 12);
    expected["\\DATA\\SAME.BIN"] = sample_bytes(4000, 13);
    write_bytes(dir.file("grow"), expected["\\DATA\\GROW.BIN"]);
    write_bytes(dir.file("shrink"), expected["\\DATA\\SHRINK.BIN"]);
    write_bytes(dir.file("same"), expected["\\DATA\\SAME.BIN"]);
    const auto replaced = run_command(cli() + " replace " + shell_quote(sample->path) + " '\\DATA\\GROW.BIN=" +
                                      dir.file("grow") + "' data/shrink.bin=" + shell_quote(dir.file("shrink")) +
                                      " /Data/Same.bin=" + shell_quote(dir.file("same")));
    ASSERT_EQ(replaced.exit_code, 0) << replaced.output;
    EXPECT_NE(replaced.output.find("moved"), std::string::npos) << replaced.output;
    EXPECT_EQ(fingerprint(sample->path), source_print) << "the source image was written";

    const std::string new_image = dir.file("NEW-GAME.ISO");
    const auto verified = run_command(cli() + " verify " + shell_quote(new_image));
    EXPECT_EQ(verified.exit_code, 0) << verified.output;

    // ISO 9660: sectors and sizes as two readers see them.
    const auto xorriso = xorriso_placements(new_image);
    const auto isoinfo = isoinfo_placements(new_image);
    const Bytes image = read_bytes(new_image);
    for (const auto& [path, bytes] : expected) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(xorriso.count(path));
        ASSERT_TRUE(isoinfo.count(path));
        EXPECT_EQ(xorriso.at(path).size, bytes.size());
        EXPECT_EQ(isoinfo.at(path).size, bytes.size());
        EXPECT_EQ(isoinfo.at(path).sector, xorriso.at(path).sector);
        EXPECT_EQ(slice(image, xorriso.at(path).sector, bytes.size()), bytes);
        const bool replaced_file = path == "\\DATA\\GROW.BIN" || path == "\\DATA\\SHRINK.BIN" || path == "\\DATA\\SAME.BIN";
        if (!replaced_file) {
            EXPECT_EQ(xorriso.at(path).sector, before.at(path).sector) << "an untouched file moved";
        }
    }
    EXPECT_NE(xorriso.at("\\DATA\\GROW.BIN").sector, before.at("\\DATA\\GROW.BIN").sector);
    EXPECT_EQ(xorriso.at("\\DATA\\SHRINK.BIN").sector, before.at("\\DATA\\SHRINK.BIN").sector);
    EXPECT_EQ(xorriso.at("\\DATA\\SAME.BIN").sector, before.at("\\DATA\\SAME.BIN").sector);

    // Contents through 7-Zip's ISO reader.
    const auto iso_out = dir.file("7z-iso");
    ASSERT_EQ(seven_zip_extract(new_image, "iso", iso_out), 0);
    for (const auto& [path, bytes] : expected)
        EXPECT_EQ(read_bytes((fs::path(iso_out) / relative_path(path)).string()), bytes) << path;

    if (sample->kind != ImageKind::Ps2Dvd) return;
    // The UDF side: 7-Zip, pycdlib and udfinfo.
    EXPECT_NE(run_command("7z l -tudf " + shell_quote(new_image)).output.find("Type = Udf"), std::string::npos);
    const auto udf_out = dir.file("7z-udf");
    // 7-Zip looks for the closing anchor behind the last file through zero
    // sectors only; the "postgap" marker the rebuild writes at the start of a
    // DVD's post-gap stops that search, so it warns (exit code 2) about the
    // end while it extracts every file. The contents decide.
    const int udf_exit = seven_zip_extract(new_image, "udf", udf_out);
    EXPECT_TRUE(udf_exit == 0 || udf_exit == 2) << udf_exit;
    for (const auto& [path, bytes] : expected)
        EXPECT_EQ(read_bytes((fs::path(udf_out) / relative_path(path)).string()), bytes) << path;
    if (run_command("/usr/bin/python3 -c 'import pycdlib'").exit_code == 0) {
        std::vector<std::string> paths;
        for (const auto& [path, bytes] : expected) paths.push_back(path);
        const auto py_out = dir.file("pycdlib");
        fs::create_directories(py_out);
        ASSERT_TRUE(pycdlib_udf_extract(new_image, paths, py_out));
        for (std::size_t i = 0; i < paths.size(); ++i)
            EXPECT_EQ(read_bytes((fs::path(py_out) / std::to_string(i)).string()), expected[paths[i]]) << paths[i];
    }
    if (have_program("udfinfo")) {
        const auto info = run_command("udfinfo " + shell_quote(new_image));
        EXPECT_EQ(info.exit_code, 0) << info.output;
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, ReplaceRoundTrip,
                         ::testing::Values(Case{Maker::Kit, ImageKind::Ps2Cd, "KitPs2Cd"},
                                           Case{Maker::Kit, ImageKind::Ps2Dvd, "KitPs2Dvd"},
                                           Case{Maker::Kit, ImageKind::PspUmd, "KitPspUmd"},
                                           Case{Maker::Genisoimage, ImageKind::Ps2Cd, "GenisoimagePs2Cd"},
                                           Case{Maker::Genisoimage, ImageKind::PspUmd, "GenisoimagePspUmd"}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace isorelink::test
