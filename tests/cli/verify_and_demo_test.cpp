// verify on sound images of every kind and on images with one fault each;
// the demo end to end.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/round_trip_support.h"
#include "support/test_support.h"

namespace isorelink::test {
namespace {

namespace fs = std::filesystem;

std::string cli() { return ISORELINK_CLI; }

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

void put_both32(const std::string& path, std::uint64_t offset, std::uint32_t v) {
    unsigned char b[8];
    for (int i = 0; i < 4; ++i) {
        b[i] = static_cast<unsigned char>(v >> (8 * i));
        b[7 - i] = static_cast<unsigned char>(v >> (8 * i));
    }
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(offset));
    f.write(reinterpret_cast<const char*>(b), 8);
}

void bump_byte(const std::string& path, std::uint64_t offset) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekg(static_cast<std::streamoff>(offset));
    char c = 0;
    f.get(c);
    f.seekp(static_cast<std::streamoff>(offset));
    f.put(static_cast<char>(c + 1));
}

TEST(Verify, SoundImagesOfEveryKindPassWithOneLine) {
    ScratchDir dir;
    int checked = 0;
    for (auto maker : {Maker::Kit, Maker::Genisoimage})
        for (auto kind : {ImageKind::Ps2Cd, ImageKind::Ps2Dvd, ImageKind::PspUmd}) {
            if (maker == Maker::Genisoimage && kind == ImageKind::Ps2Dvd) continue;
            const auto folder = dir.file(std::to_string(checked++));
            fs::create_directories(folder);
            std::string why;
            auto sample = make_sample(maker, kind, folder, why);
            if (!sample) continue;
            const auto r = run_command(cli() + " verify " + shell_quote(sample->path));
            EXPECT_EQ(r.exit_code, 0) << r.output;
            EXPECT_EQ(lines_of(r.output).size(), 1u) << r.output;
            EXPECT_NE(r.output.find("consistent"), std::string::npos) << r.output;
        }
    const auto missing = run_command(cli() + " verify " + shell_quote(dir.file("ABSENT.ISO")));
    EXPECT_NE(missing.exit_code, 0);
}

struct Fault {
    const char* name;
    void (*apply)(const std::string& image, const kit::BuiltImage& built);
    const char* expected;
};

const kit::WrittenExtent& extent(const kit::BuiltImage& built, const std::string& path) {
    for (const auto& e : built.extents)
        if (e.iso_path == path) return e;
    throw std::runtime_error("no extent " + path);
}

const Fault kFaults[] = {
    {"VolumeSize", [](const std::string& image, const kit::BuiltImage& b) { put_both32(image, 32848, b.sector_count + 1); },
     "volume space size is"},
    {"ExtentBeyondTheImage",
     [](const std::string& image, const kit::BuiltImage& b) {
         put_both32(image, extent(b, "\\DATA\\KEEP.BIN").record_offset + 2, b.sector_count + 10);
     },
     "lie beyond the image"},
    {"Overlap",
     [](const std::string& image, const kit::BuiltImage& b) {
         put_both32(image, extent(b, "\\DATA\\KEEP.BIN").record_offset + 2, extent(b, "\\DATA\\SAME.BIN").sector);
     },
     "overlaps"},
    {"SizesDisagree",
     [](const std::string& image, const kit::BuiltImage& b) {
         put_both32(image, extent(b, "\\DATA\\KEEP.BIN").record_offset + 10, 4999);
     },
     "UDF says 5000"},
    {"FileEntryCrc",
     [](const std::string& image, const kit::BuiltImage& b) { bump_byte(image, extent(b, "\\DATA\\KEEP.BIN").entry_offset + 100); },
     "bad CRC"},
    {"AnchorChecksum", [](const std::string& image, const kit::BuiltImage&) { bump_byte(image, 256 * 2048 + 4); },
     "bad tag checksum"},
    {"ClosingAnchor",
     [](const std::string& image, const kit::BuiltImage& b) {
         bump_byte(image, std::uint64_t{b.sector_count - 1} * 2048);  // tag identifier 2 becomes 3
     },
     "closing anchor"},
};

class VerifyFinds : public ::testing::TestWithParam<Fault> {};

TEST_P(VerifyFinds, OneFaultOnAPs2Dvd) {
    ScratchDir dir;
    std::string why;
    auto sample = make_sample(Maker::Kit, ImageKind::Ps2Dvd, dir.path().string(), why);
    if (!sample) GTEST_SKIP() << why;
    GetParam().apply(sample->path, sample->built);
    const auto r = run_command(cli() + " verify " + shell_quote(sample->path));
    EXPECT_NE(r.exit_code, 0) << r.output;
    EXPECT_NE(r.output.find(GetParam().expected), std::string::npos) << r.output;
    const auto lines = lines_of(r.output);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_NE(lines.back().find("problems"), std::string::npos) << r.output;
}

INSTANTIATE_TEST_SUITE_P(Faults, VerifyFinds, ::testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Demo, RunsTheRoundTripInAFolderOrANewTemporaryOne) {
    ScratchDir dir;
    const auto r = run_command(cli() + " demo " + shell_quote(dir.file("demo")));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_NE(r.output.find("consistent"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("moved"), std::string::npos);
    EXPECT_NE(r.output.find("in place"), std::string::npos);
    EXPECT_TRUE(exists(dir.file("demo/NEW-SAMPLE.ISO")));

    // Without a folder: a new one under the temporary folder.
    const auto fresh = run_command("TMPDIR=" + shell_quote(dir.path().string()) + " " + cli() + " demo");
    ASSERT_EQ(fresh.exit_code, 0) << fresh.output;
    int demos = 0;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        if (entry.path().filename().string().rfind("isorelink-demo-", 0) == 0) ++demos;
    EXPECT_EQ(demos, 1);
}

} // namespace
} // namespace isorelink::test
