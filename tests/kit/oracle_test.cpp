// Readers we did not write agree with what the kit says it wrote.
#include <gtest/gtest.h>

#include <algorithm>

#include "format/sector.h"
#include "kit/file_content.h"
#include "support/kit_fixtures.h"
#include "support/oracles.h"
#include "support/test_support.h"

namespace isorelink::test {
namespace {

class KitOracles : public ::testing::TestWithParam<ImageKind> {
protected:
    void SetUp() override {
        const auto written = kit::write_image(recipe, image);
        ASSERT_TRUE(written.ok()) << written.error().message;
        built = *written;
    }
    // Each file's extents: with the whole file's size and the extent's sectors (as xorriso reports them), or with
    // the record's size (as isoinfo does).
    std::vector<ReaderExtent> extents(bool whole_files) const {
        std::vector<ReaderExtent> out;
        for (const auto& e : built.extents)
            out.push_back(whole_files ? ReaderExtent{slashed(e.iso_path), e.sector,
                                                     recipe.files[e.file_index].byte_size(), sectors_to_hold(e.size)}
                                      : ReaderExtent{slashed(e.iso_path), e.sector, e.size, 0});
        std::sort(out.begin(), out.end());
        return out;
    }
    void expect_seven_zip_reads_every_file(const char* type) {
        const std::string folder = scratch.file(type);
        ASSERT_EQ(seven_zip_extract(image, type, folder), 0);
        for (const auto& file : recipe.files)
            EXPECT_EQ(read_bytes(folder + slashed(file.path)), kit::file_content(file)) << file.path;
    }

    const kit::ImageRecipe recipe = knobs_recipe(GetParam());
    ScratchDir scratch;
    const std::string image = scratch.file("IMAGE.ISO");
    kit::BuiltImage built;
};

TEST_P(KitOracles, XorrisoSeesEveryExtent) {
    if (!have_program("xorriso")) GTEST_SKIP() << "xorriso not installed";
    EXPECT_EQ(xorriso_extents(image), extents(true));
}

TEST_P(KitOracles, IsoinfoSeesEveryRecord) {
    if (!have_program("isoinfo")) GTEST_SKIP() << "isoinfo not installed";
    EXPECT_EQ(listed_records(image), extents(false));
}

TEST_P(KitOracles, SevenZipReadsEveryFileThroughIso9660) {
    if (!have_program("7z")) GTEST_SKIP() << "7z not installed";
    expect_seven_zip_reads_every_file("iso");
}

INSTANTIATE_TEST_SUITE_P(Kit, KitOracles, kEveryKind, kind_param_name);

// The PS2 DVD's UDF bridge, read as UDF.
class KitUdfOracles : public KitOracles {};

TEST_P(KitUdfOracles, SevenZipReadsEveryFileThroughUdf) {
    if (!have_program("7z")) GTEST_SKIP() << "7z not installed";
    expect_seven_zip_reads_every_file("udf");
}

TEST_P(KitUdfOracles, UdfinfoWarnsOfNothing) {
    if (!have_program("udfinfo")) GTEST_SKIP() << "udfinfo not installed";
    const auto info = run_command("udfinfo " + shell_quote(image));
    EXPECT_EQ(info.exit_code, 0) << info.output;
    EXPECT_EQ(info.output.find("warning"), std::string::npos) << info.output;
}

INSTANTIATE_TEST_SUITE_P(Kit, KitUdfOracles, ::testing::Values(ImageKind::Ps2Dvd), kind_param_name);

} // namespace
} // namespace isorelink::test
