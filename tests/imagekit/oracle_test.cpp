// Readers we did not write agree with what the kit says it wrote: xorriso,
// isoinfo and iso-info on the ISO 9660 side, 7-Zip on both sides, udfinfo and
// pycdlib on the UDF side. Each check skips when its reader is missing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <sstream>
#include <tuple>

#include "common/sector.h"
#include "imagekit/file_content.h"
#include "imagekit/image_builder.h"
#include "imagekit/kit_fixtures.h"
#include "support/test_support.h"

namespace isorelink {
namespace {

using Entry = std::tuple<std::string, std::uint64_t, std::uint64_t>;  // path, sector, size or blocks

std::string slashed(const std::string& iso_path) {
    std::string path = iso_path;
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::vector<Entry> sorted(std::vector<Entry> entries) {
    std::sort(entries.begin(), entries.end());
    return entries;
}

std::string strip_version(const std::string& name) {
    const auto semicolon = name.find(';');
    return semicolon == std::string::npos ? name : name.substr(0, semicolon);
}

struct Authored {
    kit::ImageSpec spec;
    kit::BuiltImage built;
    std::string image;
};

// xorriso: "File data lba:  0 ,      419 ,        1 ,      100 , '/AFIRST.BIN'"
std::vector<Entry> xorriso_extents(const std::string& image) {
    const auto result = test::run_command("xorriso -indev " + test::shell_quote(image) +
                                          " -find / -type f -exec report_lba -- 2>&1");
    std::vector<Entry> entries;
    std::istringstream lines(result.output);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("File data lba:", 0) != 0) continue;
        unsigned xt = 0;
        unsigned long long start = 0, blocks = 0, size = 0;
        char path[1024] = {};
        if (std::sscanf(line.c_str(), "File data lba: %u , %llu , %llu , %llu , '%1023[^']'", &xt, &start, &blocks,
                        &size, path) == 5)
            entries.emplace_back(path, start, blocks);
    }
    return entries;
}

// isoinfo -l and iso-info -l: a header per directory, then one line per record.
std::vector<Entry> listing_extents(const std::string& output, bool libcdio) {
    std::vector<Entry> entries;
    std::string directory;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
        if (!libcdio && line.rfind("Directory listing of ", 0) == 0) {
            directory = line.substr(21);
            continue;
        }
        if (libcdio && !line.empty() && line[0] == '/' && line.back() == ':') {
            directory = line.substr(0, line.size() - 1);
            continue;
        }
        const auto first = line.find_first_not_of(' ');
        if (first == std::string::npos || line[first] != '-') continue;  // files only
        const auto bracket = line.find(libcdio ? "[LSN" : "[");
        if (bracket == std::string::npos) continue;
        const std::size_t number = bracket + (libcdio ? 4 : 1);
        const std::uint64_t sector = std::stoull(line.substr(number));
        std::uint64_t size = 0;
        if (libcdio) {
            size = std::stoull(line.substr(line.find(']', number) + 1));
        } else {
            std::istringstream fields(line);
            std::string token;
            for (int i = 0; i < 5; ++i) fields >> token;
            size = std::stoull(token);
        }
        const std::string name = strip_version(line.substr(line.rfind(' ') + 1));
        std::string path = directory;
        if (path.empty() || path.back() != '/') path += '/';
        entries.emplace_back(upper(path + name), sector, size);
    }
    return entries;
}

void expect_contents(const Authored& image, const std::string& folder, const std::string& reader) {
    for (const auto& file : image.spec.files) {
        const auto stored = test::read_bytes(folder + slashed(file.path));
        EXPECT_EQ(stored, kit::file_content(file)) << reader << " " << file.path;
    }
}

class Oracles : public ::testing::TestWithParam<std::tuple<ImageKind, bool>> {
protected:
    void SetUp() override {
        const auto [kind, knobs] = GetParam();
        authored_.spec = knobs ? test::knobs_spec(kind) : test::sample_spec(kind);
        authored_.image = scratch_.file("IMAGE.ISO");
        auto built = kit::write_image(authored_.spec, authored_.image);
        ASSERT_TRUE(built.ok()) << built.error().message;
        authored_.built = *built;
    }
    bool dvd() const { return std::get<0>(GetParam()) == ImageKind::Ps2Dvd; }

    test::ScratchDir scratch_;
    Authored authored_;
};

TEST_P(Oracles, XorrisoReportsTheSameExtents) {
    if (!test::have_program("xorriso")) GTEST_SKIP() << "xorriso not installed";
    std::vector<Entry> expected;
    for (const auto& e : authored_.built.extents)
        expected.emplace_back(slashed(e.iso_path), e.sector, sectors_to_hold(e.size));
    EXPECT_EQ(sorted(xorriso_extents(authored_.image)), sorted(expected));
}

TEST_P(Oracles, IsoinfoAndIsoInfoListTheSameRecords) {
    std::vector<Entry> expected;
    for (const auto& e : authored_.built.extents) expected.emplace_back(upper(slashed(e.iso_path)), e.sector, e.size);
    if (test::have_program("isoinfo")) {
        const auto out = test::run_command("isoinfo -l -i " + test::shell_quote(authored_.image) + " 2>&1");
        EXPECT_EQ(sorted(listing_extents(out.output, false)), sorted(expected)) << "isoinfo";
    }
    if (test::have_program("iso-info")) {
        const auto out = test::run_command("iso-info -l -i " + test::shell_quote(authored_.image) + " 2>&1");
        EXPECT_EQ(sorted(listing_extents(out.output, true)), sorted(expected)) << "iso-info";
    }
}

TEST_P(Oracles, SevenZipExtractsEveryFile) {
    if (!test::have_program("7z")) GTEST_SKIP() << "7z not installed";
    const std::string iso_out = scratch_.file("iso");
    const auto iso = test::run_command("7z x -y -tiso -o" + test::shell_quote(iso_out) + " " +
                                       test::shell_quote(authored_.image) + " 2>&1");
    ASSERT_EQ(iso.exit_code, 0) << iso.output;
    expect_contents(authored_, iso_out, "7z -tiso");
    if (!dvd()) return;
    const auto list = test::run_command("7z l -slt -tudf " + test::shell_quote(authored_.image) + " 2>&1");
    EXPECT_NE(list.output.find("Type = Udf"), std::string::npos) << list.output;
    std::vector<std::string> listed, expected;
    std::istringstream lines(list.output);
    std::string path;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("Path = ", 0) == 0) path = line.substr(7);
        if (line == "Folder = -") listed.push_back("/" + path);
    }
    for (const auto& file : authored_.spec.files) expected.push_back(slashed(file.path));
    std::sort(listed.begin(), listed.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listed, expected);
    const std::string udf_out = scratch_.file("udf");
    const auto udf = test::run_command("7z x -y -tudf -o" + test::shell_quote(udf_out) + " " +
                                       test::shell_quote(authored_.image) + " 2>&1");
    ASSERT_EQ(udf.exit_code, 0) << udf.output;
    expect_contents(authored_, udf_out, "7z -tudf");
}

TEST_P(Oracles, UdfinfoAndPycdlibReadTheBridge) {
    if (!dvd()) GTEST_SKIP() << "no UDF on this kind";
    if (test::have_program("udfinfo")) {
        const auto info = test::run_command("udfinfo " + test::shell_quote(authored_.image) + " 2>&1");
        EXPECT_EQ(info.exit_code, 0) << info.output;
        EXPECT_EQ(info.output.find("warning"), std::string::npos) << info.output;
    }
    if (!test::exists("/usr/bin/python3") ||
        test::run_command("/usr/bin/python3 -c 'import pycdlib' 2>&1").exit_code != 0)
        GTEST_SKIP() << "pycdlib not installed";
    const std::string out = scratch_.file("pycdlib");
    std::string paths;
    for (const auto& file : authored_.spec.files) paths += "'" + slashed(file.path) + "',";
    test::write_text(scratch_.file("read.py"),
                     "import os, sys, pycdlib\n"
                     "iso = pycdlib.PyCdlib()\n"
                     "iso.open(sys.argv[1])\n"
                     "for path in [" + paths + "]:\n"
                     "    local = sys.argv[2] + path\n"
                     "    os.makedirs(os.path.dirname(local), exist_ok=True)\n"
                     "    iso.get_file_from_iso(local, udf_path=path)\n");
    const auto run = test::run_command("/usr/bin/python3 " + test::shell_quote(scratch_.file("read.py")) + " " +
                                       test::shell_quote(authored_.image) + " " + test::shell_quote(out) + " 2>&1");
    ASSERT_EQ(run.exit_code, 0) << run.output;
    for (const auto& e : authored_.built.extents) {
        if (e.piece != 0) continue;
        const auto& file = authored_.spec.files[e.file_index];
        auto expected = kit::file_content(file);
        // pycdlib reads a File Entry's first allocation descriptor only.
        if (file.extent_limit != 0) expected.resize(std::min<std::size_t>(expected.size(), e.size));
        EXPECT_EQ(test::read_bytes(out + slashed(file.path)), expected) << file.path;
    }
}

INSTANTIATE_TEST_SUITE_P(Kit, Oracles,
                         ::testing::Combine(::testing::Values(ImageKind::Ps2Cd, ImageKind::PspUmd, ImageKind::Ps2Dvd),
                                            ::testing::Bool()),
                         [](const auto& info) {
                             const auto kind = std::get<0>(info.param);
                             return std::string(kind == ImageKind::Ps2Cd    ? "Ps2Cd"
                                                : kind == ImageKind::PspUmd ? "PspUmd"
                                                                            : "Ps2Dvd") +
                                    (std::get<1>(info.param) ? "Knobs" : "Sample");
                         });

} // namespace
} // namespace isorelink
