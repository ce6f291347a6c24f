// Kit images cut short and kit images with one field wrong, through the
// extraction and the rebuild. Each job must end, stay inside its buffers
// (the suite runs under ASan and UBSan in CI), and either succeed, listing
// only bytes the image holds, or fail with a coded message; the source
// image never changes and a refused rebuild leaves the new image as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "common/endian.h"
#include "common/iso9660_layout.h"
#include "common/sector.h"
#include "corrupt/corrupt_support.h"
#include "support/test_support.h"

namespace isorelink::test {
namespace {

class CorruptImage : public ::testing::TestWithParam<std::uint8_t> {
protected:
    // Both jobs on one image: the extraction reads it as a source image, the
    // rebuild as a new image with the sample's sound relink list.
    void expect_sound(const std::string& name, std::span<const std::uint8_t> image, bool rebuild_too = true) {
        std::string with_selector(1, static_cast<char>(GetParam()));
        with_selector.append(reinterpret_cast<const char*>(image.data()), image.size());
        const std::string what = std::string(to_string(kind())) + ", " + name;
        EXPECT_EQ(bounded("extraction: " + what, [&] { return fuzz::extract_case(dir_.prefix(), image); }), "")
            << what;
        if (!rebuild_too) return;
        EXPECT_EQ(bounded("rebuild: " + what,
                          [&] { return fuzz::rebuild_image_case(dir_.prefix(), fuzz::as_u8(with_selector)); }),
                  "")
            << what;
    }

    ImageKind kind() const { return fuzz::kind_from_selector(GetParam()); }

    ScratchDir dir_;
};

TEST_P(CorruptImage, SampleIsSoundAndListsEveryFile) {
    const auto& image = fuzz::sample_image(kind());
    EXPECT_EQ(fuzz::extract_case(dir_.prefix(), fuzz::as_u8(image)), "");
    const std::string listing = read_text(dir_.file("IMAGE.ISO-LSN.TXT"));
    EXPECT_NE(listing.find("\\Z.TXT"), std::string::npos) << listing;
    EXPECT_NE(listing.find("\\DATA\\DEEP\\EMPTY.BIN"), std::string::npos) << listing;
}

TEST_P(CorruptImage, CutAtEverySectorUpToTheEndOfItsMetadata) {
    const auto& s = fuzz::sample(kind());
    const auto whole = fuzz::as_u8(s.image);
    const std::uint64_t last = std::min<std::uint64_t>(s.built.data_start_sector + 1, whole.size() / kSectorSize);
    for (std::uint64_t sectors = 0; sectors <= last; ++sectors) {
        const auto cut = static_cast<std::size_t>(sector_offset(sectors));
        expect_sound("cut at sector " + std::to_string(sectors), whole.first(cut));
        // And once between two sector boundaries.
        if (cut + 1000 <= whole.size()) expect_sound("cut at sector " + std::to_string(sectors) + " + 1000", whole.first(cut + 1000));
    }
    // Cut right after the metadata, the files' data is gone: the extraction
    // refuses rather than list sectors the image does not hold.
    fuzz::write_file(dir_.file("CUT.ISO"), whole.first(static_cast<std::size_t>(sector_offset(s.built.data_start_sector))));
    const auto cut = run_extraction(dir_.prefix(), "CUT.ISO");
    ASSERT_FALSE(cut);
    EXPECT_EQ(cut.error().message,
              "Code 1106 - invalid volume structure " + dir_.file("CUT.ISO") + " (file data outside the image)");
}

// Every path table record of an image with many folders names the root,
// made to run to the image's end: walking it once per record would read the
// image over and over and list its files once per record.
TEST_P(CorruptImage, PathTableNamingOneDirectoryOverAndOver) {
    kit::ImageRecipe recipe = fuzz::sample_recipe(kind());
    for (int i = 0; i < 40; ++i) recipe.directories.push_back("\\D" + std::to_string(i));
    std::vector<std::byte> image;
    const auto built = kit::build_image(recipe, image);
    ASSERT_TRUE(built) << built.error().message;
    const std::uint32_t root = built->directories.front().sector;
    const std::uint64_t table = sector_offset(built->path_table_sector);
    for (std::uint64_t at = table; at < table + built->path_table_size;) {
        put_le32(image, static_cast<std::size_t>(at + iso::ptr::kExtent), root);
        at += iso::ptr::record_size(u8(image, static_cast<std::size_t>(at)));
    }
    // The root runs on to the image's end (the PS2 DVD's File Entries must
    // stay), every sector after its first a zero tail.
    const auto start = static_cast<std::size_t>(sector_offset(root));
    const std::size_t end = kind() == ImageKind::Ps2Dvd && built->first_file_entry_sector > root
                                ? static_cast<std::size_t>(sector_offset(built->first_file_entry_sector))
                                : image.size();
    std::fill(image.begin() + static_cast<std::ptrdiff_t>(start + kSectorSize),
              image.begin() + static_cast<std::ptrdiff_t>(end), std::byte{0});
    const std::size_t length = end - start;
    put_both32(image, start + iso::dr::kDataLength, static_cast<std::uint32_t>(length));
    ASSERT_GT(built->directories.size() * length, image.size());

    fuzz::write_file(dir_.file("SAME.ISO"), fuzz::as_u8(image));
    const auto walked = run_extraction(dir_.prefix(), "SAME.ISO");
    ASSERT_FALSE(walked);
    EXPECT_EQ(walked.error().message,
              "Code 1106 - invalid volume structure " + dir_.file("SAME.ISO") + " (directories overlap)");
}

TEST_P(CorruptImage, EverySingleFieldCorruption) {
    const auto corruptions = field_corruptions(kind());
    ASSERT_GT(corruptions.size(), 100u);
    for (const auto& corruption : corruptions)
        expect_sound(corruption.name, fuzz::as_u8(corruption.image), corruption.rebuild_reads);
}

INSTANTIATE_TEST_SUITE_P(EveryKind, CorruptImage, ::testing::Values(0, 1, 2), selector_name);

} // namespace
} // namespace isorelink::test
