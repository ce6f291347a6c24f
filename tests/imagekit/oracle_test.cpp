// Readers we did not write agree with what the kit says it wrote: xorriso,
// isoinfo and iso-info on the ISO 9660 side, 7-Zip on both sides, udfinfo and
// pycdlib on the UDF side. Each check skips when its reader is missing.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "common/sector.h"
#include "imagekit/file_content.h"
#include "imagekit/kit_fixtures.h"
#include "support/oracles.h"
#include "support/test_support.h"

namespace isorelink {
namespace {

using test::slashed;

class Oracles : public ::testing::TestWithParam<std::tuple<ImageKind, bool>> {
protected:
    void SetUp() override {
        const auto [kind, knobs] = GetParam();
        recipe_ = knobs ? test::knobs_recipe(kind) : test::sample_recipe(kind);
        auto built = kit::write_image(recipe_, image_);
        ASSERT_TRUE(built.ok()) << built.error().message;
        built_ = *built;
    }
    bool dvd() const { return std::get<0>(GetParam()) == ImageKind::Ps2Dvd; }
    // Every file read back from a folder, as 7-Zip lays it out.
    void expect_contents(const std::string& folder, const char* reader) const {
        for (const auto& file : recipe_.files)
            EXPECT_EQ(test::read_bytes(folder + slashed(file.path)), kit::file_content(file)) << reader << file.path;
    }

    test::ScratchDir scratch_;
    std::string image_ = scratch_.file("IMAGE.ISO");
    kit::ImageRecipe recipe_;
    kit::BuiltImage built_;
};

TEST_P(Oracles, XorrisoIsoinfoAndIsoInfoReportTheSameExtents) {
    std::vector<test::ReaderExtent> by_file, by_record;
    for (const auto& e : built_.extents) {
        by_file.push_back({slashed(e.iso_path), e.sector, recipe_.files[e.file_index].byte_size(), sectors_to_hold(e.size)});
        by_record.push_back({slashed(e.iso_path), e.sector, e.size, 0});
    }
    std::sort(by_file.begin(), by_file.end());
    std::sort(by_record.begin(), by_record.end());
    if (test::have_program("xorriso")) {
        EXPECT_EQ(test::xorriso_extents(image_), by_file) << "xorriso";
    }
    if (test::have_program("isoinfo")) {
        EXPECT_EQ(test::listed_records(image_), by_record) << "isoinfo";
    }
    if (test::have_program("iso-info")) {
        EXPECT_EQ(test::listed_records(image_, true), by_record) << "iso-info";
    }
}

TEST_P(Oracles, SevenZipExtractsEveryFile) {
    if (!test::have_program("7z")) GTEST_SKIP() << "7z not installed";
    ASSERT_EQ(test::seven_zip_extract(image_, "iso", scratch_.file("iso")), 0);
    expect_contents(scratch_.file("iso"), "7z -tiso ");
    if (!dvd()) return;
    const auto list = test::run_command("7z l -slt -tudf " + test::shell_quote(image_));
    EXPECT_NE(list.output.find("Type = Udf"), std::string::npos) << list.output;
    std::vector<std::string> listed, expected;
    std::istringstream lines(list.output);
    std::string path;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("Path = ", 0) == 0) path = line.substr(7);
        if (line == "Folder = -") listed.push_back("/" + path);
    }
    for (const auto& file : recipe_.files) expected.push_back(slashed(file.path));
    std::sort(listed.begin(), listed.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listed, expected);
    ASSERT_EQ(test::seven_zip_extract(image_, "udf", scratch_.file("udf")), 0);
    expect_contents(scratch_.file("udf"), "7z -tudf ");
}

// The UDF bridge exists on a PS2 DVD only.
class DvdOracles : public Oracles {};

TEST_P(DvdOracles, UdfinfoAndPycdlibReadTheBridge) {
    if (test::have_program("udfinfo")) {
        const auto info = test::run_command("udfinfo " + test::shell_quote(image_));
        EXPECT_EQ(info.exit_code, 0) << info.output;
        EXPECT_EQ(info.output.find("warning"), std::string::npos) << info.output;
    }
    if (!test::have_pycdlib()) GTEST_SKIP() << "pycdlib not installed";
    std::vector<std::string> paths;
    for (const auto& file : recipe_.files) paths.push_back(slashed(file.path));
    const std::string out = scratch_.file("pycdlib");
    ASSERT_TRUE(test::pycdlib_udf_extract(image_, paths, out));
    for (const auto& e : built_.extents) {
        if (e.piece != 0) continue;
        const auto& file = recipe_.files[e.file_index];
        auto expected = kit::file_content(file);
        // pycdlib reads a File Entry's first allocation descriptor only.
        if (file.extent_limit != 0) expected.resize(std::min<std::size_t>(expected.size(), e.size));
        EXPECT_EQ(test::read_bytes(out + slashed(file.path)), expected) << file.path;
    }
}

INSTANTIATE_TEST_SUITE_P(Kit, Oracles, ::testing::Combine(test::kEveryKind, ::testing::Bool()), [](const auto& info) {
    return test::kind_name(std::get<0>(info.param)) + (std::get<1>(info.param) ? "Knobs" : "Sample");
});
INSTANTIATE_TEST_SUITE_P(Kit, DvdOracles, ::testing::Combine(::testing::Values(ImageKind::Ps2Dvd), ::testing::Bool()),
                         [](const auto& info) { return std::string(std::get<1>(info.param) ? "Ps2DvdKnobs" : "Ps2DvdSample"); });

} // namespace
} // namespace isorelink
