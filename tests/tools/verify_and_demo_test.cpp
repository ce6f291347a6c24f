#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "round_trip_support.h"

namespace isorelink::test {
namespace {

void patch(const std::string& path, std::uint64_t at, const std::string& bytes) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(at)).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string both32(std::uint32_t v) {
    std::string b(8, '\0');
    for (int i = 0; i < 4; ++i) b[i] = b[7 - i] = static_cast<char>(v >> (8 * i));
    return b;
}

const kit::WrittenExtent& keep(const kit::BuiltImage& b, const char* path = "\\DATA\\KEEP.BIN") {
    return *std::find_if(b.extents.begin(), b.extents.end(), [&](const auto& e) { return e.iso_path == path; });
}

using Image = const std::string&;
using Built = const kit::BuiltImage&;

struct Fault {
    const char* name;
    void (*apply)(Image image, Built built);
    const char* expected;
    friend void PrintTo(const Fault& c, std::ostream* out) { *out << c.name; }
};

const Fault kFaults[] = {
    {"VolumeSize", [](Image i, Built b) { patch(i, 32848, both32(b.sector_count + 1)); }, "volume space size is"},
    {"ExtentBeyondTheImage", [](Image i, Built b) { patch(i, keep(b).record_offset + 2, both32(b.sector_count + 10)); },
     "data past the end of the image: trimmed?"},
    {"EmptyFileBeyondTheImage",
     [](Image i, Built b) {
         patch(i, keep(b).record_offset + 2, both32(b.sector_count + 10));
         patch(i, keep(b).record_offset + 10, both32(0));
     },
     "KEEP.BIN: an empty file recorded past the end of the image: trimmed? (sector "},
    {"Overlap",
     [](Image i, Built b) { patch(i, keep(b).record_offset + 2, both32(keep(b, "\\DATA\\SAME.BIN").sector)); },
     "overlaps"},
    {"SizesDisagree", [](Image i, Built b) { patch(i, keep(b).record_offset + 10, both32(4999)); }, "UDF says 5000"},
    // The entries are read by sector (\SYSTEM.CNF's first), their problems told in walk order.
    {"FileEntryCrcs",
     [](Image i, Built b) {
         patch(i, keep(b, "\\SYSTEM.CNF").entry_offset + 100, "X");
         patch(i, keep(b).entry_offset + 100, "X");
     },
     "has a bad CRC\nUDF: File Entry of \\SYSTEM.CNF at sector"},
    {"ClosingAnchor", [](Image i, Built b) { patch(i, (b.sector_count - 1) * 2048ull, "X"); }, "closing anchor"},
};

class VerifyFinds : public ::testing::TestWithParam<Fault> {};

TEST_P(VerifyFinds, OneFaultOnAPs2Dvd) {
    ScratchDir dir;
    auto sample = make_sample(ImageKind::Ps2Dvd, dir.path().string());
    ASSERT_TRUE(sample);
    GetParam().apply(sample->path, sample->built);
    const auto r = run_command(std::string(ISORELINK_CLI) + " verify " + shell_quote(sample->path));
    EXPECT_NE(r.exit_code, 0) << r.output;
    EXPECT_NE(r.output.find(GetParam().expected), std::string::npos) << r.output;
}

INSTANTIATE_TEST_SUITE_P(Faults, VerifyFinds, ::testing::ValuesIn(kFaults), case_name<Fault>);

TEST(Demo, RunsTheRoundTripInAFolder) {
    ScratchDir dir;
    const auto r = run_command(std::string(ISORELINK_CLI) + " demo " + shell_quote(dir.file("demo")));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    for (const char* said : {"consistent", "moved", "in place"}) EXPECT_NE(r.output.find(said), std::string::npos);
    EXPECT_TRUE(exists(dir.file("demo/NEW-SAMPLE.ISO")));
}

} // namespace
} // namespace isorelink::test
