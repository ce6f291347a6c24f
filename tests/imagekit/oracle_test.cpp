// Readers we did not write agree with what the kit says it wrote.
#include <gtest/gtest.h>

#include <algorithm>

#include "format/sector.h"
#include "kit/file_content.h"
#include "imagekit/kit_fixtures.h"
#include "support/oracles.h"
#include "support/test_support.h"

namespace isorelink::test {
namespace {

class Oracles : public ::testing::TestWithParam<ImageKind> {};

TEST_P(Oracles, EveryReaderSeesTheExtentsAndContentsTheKitWrote) {
    const auto recipe = knobs_recipe(GetParam());
    ScratchDir scratch;
    const std::string image = scratch.file("IMAGE.ISO");
    const auto built = kit::write_image(recipe, image);
    ASSERT_TRUE(built.ok()) << built.error().message;
    const auto expect_contents = [&](const std::string& folder, const char* reader) {
        for (const auto& file : recipe.files)
            EXPECT_EQ(read_bytes(folder + slashed(file.path)), kit::file_content(file)) << reader << file.path;
    };
    std::vector<ReaderExtent> by_file, by_record;
    for (const auto& e : built->extents) {
        by_file.push_back(
            {slashed(e.iso_path), e.sector, recipe.files[e.file_index].byte_size(), sectors_to_hold(e.size)});
        by_record.push_back({slashed(e.iso_path), e.sector, e.size, 0});
    }
    std::sort(by_file.begin(), by_file.end());
    std::sort(by_record.begin(), by_record.end());
    if (have_program("xorriso")) { EXPECT_EQ(xorriso_extents(image), by_file) << "xorriso"; }
    if (have_program("isoinfo")) { EXPECT_EQ(listed_records(image), by_record) << "isoinfo"; }
    if (have_program("7z")) {
        ASSERT_EQ(seven_zip_extract(image, "iso", scratch.file("iso")), 0);
        expect_contents(scratch.file("iso"), "7z -tiso ");
    }
    if (GetParam() != ImageKind::Ps2Dvd) return;
    if (have_program("7z")) {
        ASSERT_EQ(seven_zip_extract(image, "udf", scratch.file("udf")), 0);
        expect_contents(scratch.file("udf"), "7z -tudf ");
    }
    if (have_program("udfinfo")) {
        const auto info = run_command("udfinfo " + shell_quote(image));
        EXPECT_EQ(info.exit_code, 0) << info.output;
        EXPECT_EQ(info.output.find("warning"), std::string::npos) << info.output;
    }
}

INSTANTIATE_TEST_SUITE_P(Kit, Oracles, kEveryKind, [](const auto& info) { return kind_name(info.param); });

} // namespace
} // namespace isorelink::test
