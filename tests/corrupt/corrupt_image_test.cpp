// Kit images cut short or with one field wrong, and every stored fuzz input, through the jobs.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "format/endian.h"
#include "format/iso9660/layout.h"
#include "format/sector.h"
#include "format/udf/layout.h"
#include "corrupt_support.h"
#include "read/sector_listing.h"
#include "support/test_support.h"
#include "tools/verify_image.h"

namespace isorelink::test {
namespace {

using Image = std::vector<std::byte>;
using Change = std::function<void(Image&)>;
constexpr std::uint32_t kAllOnes = 0xFFFFFFFF;

std::vector<std::pair<std::string, Change>> field_corruptions(ImageKind kind) {
    const auto& s = fuzz::sample(kind);
    std::vector<std::pair<std::string, Change>> list;
    const auto add = [&](const std::string& name, Change change) {
        list.emplace_back(name, std::move(change));
    };
    const auto put32 = [&](const std::string& name, std::size_t at, std::uint32_t v) {
        add(name, [=](Image& b) { put_le32(b, at, v); });
    };
    const auto both32 = [&](const std::string& name, std::size_t at, std::uint32_t v) {
        add(name, [=](Image& b) { put_both32(b, at, v); });
    };
    const auto byte = [&](const std::string& name, std::size_t at, std::uint8_t v) {
        add(name, [=](Image& b) { put_u8(b, at, v); });
    };

    std::vector<std::size_t> records;
    const std::size_t table = sector_offset(s.built.path_table_sector);
    for (std::size_t at = table; at < table + s.built.path_table_size; at += iso::ptr::record_size(u8(s.image, at)))
        records.push_back(at);
    for (const std::size_t at : records) {
        const std::string name = "path table record at " + std::to_string(at) + ": ";
        for (std::uint8_t length : {0, 255})
            byte(name + "identifier length " + std::to_string(length), at + iso::ptr::kIdentifierLength, length);
        for (std::uint32_t extent : {0u, s.built.sector_count, kAllOnes})
            put32(name + "directory " + std::to_string(extent), at + iso::ptr::kExtent, extent);
        for (const std::uint16_t parent : {std::size_t{0}, records.size() + 1, std::size_t{0xFFFF}})
            add(name + "parent " + std::to_string(parent),
                [=](Image& b) { put_le16(b, at + iso::ptr::kParentNumber, parent); });
    }
    for (const auto& directory : s.built.directories) {
        const std::size_t start = sector_offset(directory.sector);
        for (std::size_t at = start; at < start + directory.size && u8(s.image, at) != 0;) {
            const std::uint8_t length = u8(s.image, at);
            const std::string name = "directory record at " + std::to_string(at) + ": ";
            for (std::uint8_t bad : {0, 1, 33, 255}) byte(name + "length " + std::to_string(bad), at, bad);
            for (std::uint32_t extent : {s.built.sector_count, kAllOnes})
                both32(name + "extent " + std::to_string(extent), at + iso::dr::kExtent, extent);
            both32(name + "size all ones", at + iso::dr::kDataLength, kAllOnes);
            byte(name + "identifier length 255", at + iso::dr::kIdentifierLength, 255);
            at += length;
        }
        for (std::uint32_t length : {0u, 1u, 33u, 34u, 2047u, 4096u, kAllOnes})
            both32("directory '" + directory.path + "' length " + std::to_string(length), start + iso::dr::kDataLength,
                   length);
    }
    // Odd records ending at or past the end of the root's first sector of two, after unlisted filler directories.
    const std::size_t root = sector_offset(s.built.directories.front().sector);
    for (const auto& [length, from_end] :
         {std::pair<std::uint8_t, std::size_t>{0, 1}, {1, 1}, {33, 33}, {33, 20}, {255, 255}, {255, 100}, {34, 33}})
        add("root ends in length " + std::to_string(length) + " " + std::to_string(from_end) + " bytes before its end",
            [=](Image& b) {
                std::size_t at = u8(b, root) + u8(b, root + u8(b, root));  // after "." and ".."
                put_both32(b, root + iso::dr::kDataLength, 2 * kSectorSize);
                std::fill(b.begin() + static_cast<std::ptrdiff_t>(root + at),
                          b.begin() + static_cast<std::ptrdiff_t>(root + kSectorSize), std::byte{0});
                for (const std::size_t target = kSectorSize - from_end; at < target;) {
                    const std::size_t filler = target - at <= 255 ? target - at : 34;
                    put_u8(b, root + at, static_cast<std::uint8_t>(filler));
                    put_u8(b, root + at + iso::dr::kFlags, iso::dr::kFlagDirectory);
                    put_u8(b, root + at + iso::dr::kIdentifierLength, 1);
                    at += filler;
                }
                put_u8(b, root + kSectorSize - from_end, length);
            });

    const std::size_t pvd = iso::kPrimaryDescriptorOffset;
    for (std::uint32_t size : {0u, 1u, s.built.path_table_size + 1, 0x7FFFFFFFu, kAllOnes})
        both32("path table size " + std::to_string(size), pvd + iso::pvd::kPathTableSize, size);
    for (std::uint32_t at : {0u, s.built.sector_count, kAllOnes})
        for (const std::size_t field : {iso::pvd::kTypeLPathTable, iso::pvd::kOptionalTypeLPathTable})
            put32("path table " + std::to_string(field) + " at " + std::to_string(at), pvd + field, at);
    for (std::uint32_t sectors : {0u, 1u, kAllOnes})
        both32("volume space size " + std::to_string(sectors), pvd + iso::pvd::kVolumeSpaceSize, sectors);
    both32("root record extent all ones", pvd + iso::pvd::kRootDirectoryRecord + iso::dr::kExtent, kAllOnes);
    byte("no CD- signature", iso::kApplicationByteOffset, 0);
    if (kind != ImageKind::Ps2Dvd) return list;

    std::vector<std::size_t> entries;
    for (const auto& extent : s.built.extents)
        if (extent.entry_offset != 0) entries.push_back(static_cast<std::size_t>(extent.entry_offset));
    const auto every_entry = [&](const std::string& name, std::function<void(Image&, std::size_t)> change) {
        add(name, [=](Image& b) {
            for (const std::size_t e : entries) change(b, e);
        });
    };
    for (const std::size_t field : {udf::fe::kImplementationId, udf::fe::kAttributeMarker})
        every_entry("marker at " + std::to_string(field) + " missing", [=](Image& b, std::size_t e) {
            std::fill_n(b.begin() + static_cast<std::ptrdiff_t>(e + field), 16, std::byte{0});
        });
    every_entry("extent length and position all ones", [=](Image& b, std::size_t e) {
        put_le64(b, e + udf::fe::kShortAllocationDescriptor + udf::short_ad::kExtentLength, ~std::uint64_t{0});
    });
    every_entry("information length all ones",
                [](Image& b, std::size_t e) { put_le64(b, e + udf::fe::kInformationLength, ~std::uint64_t{0}); });
    put32("second File Entry is not one", entries.at(entries.size() > 1 ? 1 : 0), 0);
    add("File Entry run to the image's end", [first = sector_offset(s.built.first_file_entry_sector)](Image& b) {
        for (std::size_t at = first + kSectorSize; at + kSectorSize <= b.size(); at += kSectorSize)
            std::copy_n(b.begin() + static_cast<std::ptrdiff_t>(first), kSectorSize,
                        b.begin() + static_cast<std::ptrdiff_t>(at));
    });
    const std::size_t charset = sector_offset(s.built.partition_start) + udf::fsd::kLogicalVolumeIdCharset;
    add("no File Set Descriptor charset",
        [=](Image& b) { std::fill_n(b.begin() + static_cast<std::ptrdiff_t>(charset), 16, std::byte{0}); });
    add("no anchor at 256", [](Image& b) {
        if (sector_offset(257) <= b.size()) std::fill_n(b.begin() + sector_offset(256), kSectorSize, std::byte{0});
    });
    byte("no DVD signature", udf::kDvdSignatureOffset, 0);
    return list;
}

struct CorruptImage : ::testing::TestWithParam<std::uint8_t> {
    void expect_sound(const std::string& name, std::span<const std::uint8_t> image) {
        const std::string what = std::string(to_string(kind())) + ", " + name;
        EXPECT_EQ(bounded("extraction: " + what, [&] { return fuzz::extract_case(dir_.prefix(), image); }), "") << what;
        fuzz::Bytes input(image.size() + 1, GetParam());
        std::copy(image.begin(), image.end(), input.begin() + 1);
        EXPECT_EQ(bounded("rebuild: " + what, [&] { return fuzz::rebuild_image_case(dir_.prefix(), input); }), "")
            << what;
    }
    ImageKind kind() const { return fuzz::kind_from_selector(GetParam()); }
    ScratchDir dir_;
};

TEST_P(CorruptImage, CutAtEverySectorUpToTheEndOfItsMetadata) {
    const auto& s = fuzz::sample(kind());
    const auto whole = fuzz::as_u8(s.image);
    const std::uint64_t last = std::min<std::uint64_t>(s.built.data_start_sector + 1, whole.size() / kSectorSize);
    for (std::uint64_t sectors = 0; sectors <= last; ++sectors)
        for (const std::size_t cut : {sector_offset(sectors), sector_offset(sectors) + 1000})
            if (cut <= whole.size()) expect_sound("cut at byte " + std::to_string(cut), whole.first(cut));
}

// A dump trimmed where the files' data begins: every file is listed where its
// record puts it, exactly as in the whole image, and verify names each file
// whose data is gone.
TEST_P(CorruptImage, TrimmedDumpListsEveryFile) {
    const auto& s = fuzz::sample(kind());
    const auto whole = fuzz::as_u8(s.image);
    fuzz::write_file(dir_.file("WHOLE.ISO"), whole);
    fuzz::write_file(dir_.file("CUT.ISO"), whole.first(sector_offset(s.built.data_start_sector)));
    const auto listed = run_extraction(dir_.prefix(), "WHOLE.ISO");
    ASSERT_TRUE(listed) << listed.error().message;
    const auto cut = run_extraction(dir_.prefix(), "CUT.ISO");
    ASSERT_TRUE(cut) << cut.error().message;
    const std::string lines = read_text(cut->names.sector_listing);
    EXPECT_EQ(lines, read_text(listed->names.sector_listing));
    EXPECT_NE(lines, "");

    const auto report = host::verify_image(dir_.file("CUT.ISO"));
    ASSERT_TRUE(report) << report.error().message;
    const auto trimmed = std::count_if(report->problems.begin(), report->problems.end(), [](const std::string& p) {
        return p.find("past the end of the image: trimmed?") != std::string::npos;
    });
    std::size_t past_the_end = 0;
    const auto parsed = host::parse_sector_listing(lines, kind());
    for (const auto& line : parsed.value())
        if (line.sector > s.built.data_start_sector || (line.size > 0 && line.sector >= s.built.data_start_sector))
            ++past_the_end;
    EXPECT_GT(past_the_end, 0u);
    EXPECT_EQ(static_cast<std::size_t>(trimmed), past_the_end);
}

// Every path table record names the root, made to run to the image's end:
// walking it once per record would read the image over and over.
TEST_P(CorruptImage, PathTableNamingOneDirectoryOverAndOver) {
    kit::ImageRecipe recipe = fuzz::sample_recipe(kind());
    for (int i = 0; i < 40; ++i) recipe.directories.push_back("\\D" + std::to_string(i));
    Image image;
    const auto built = kit::build_image(recipe, image);
    ASSERT_TRUE(built) << built.error().message;
    const std::uint32_t root = built->directories.front().sector;
    const std::size_t table = sector_offset(built->path_table_sector);
    for (std::size_t at = table; at < table + built->path_table_size; at += iso::ptr::record_size(u8(image, at)))
        put_le32(image, at + iso::ptr::kExtent, root);
    const std::size_t start = sector_offset(root);
    const std::size_t end = kind() == ImageKind::Ps2Dvd && built->first_file_entry_sector > root
                                ? sector_offset(built->first_file_entry_sector)
                                : image.size();
    std::fill(image.begin() + static_cast<std::ptrdiff_t>(start + kSectorSize),
              image.begin() + static_cast<std::ptrdiff_t>(end), std::byte{0});
    put_both32(image, start + iso::dr::kDataLength, static_cast<std::uint32_t>(end - start));
    fuzz::write_file(dir_.file("SAME.ISO"), fuzz::as_u8(image));
    const auto walked = run_extraction(dir_.prefix(), "SAME.ISO");
    EXPECT_EQ(walked ? "listed" : walked.error().message,
              "Code 1106 - invalid volume structure " + dir_.file("SAME.ISO") + " (directories overlap)");
}

TEST_P(CorruptImage, EverySingleFieldCorruption) {
    for (const auto& [name, change] : field_corruptions(kind())) {
        Image image = fuzz::sample_image(kind());
        change(image);
        expect_sound(name, fuzz::as_u8(image));
    }
}

INSTANTIATE_TEST_SUITE_P(EveryKind, CorruptImage, ::testing::Values(0, 1, 2), selector_name);

TEST(CorpusReplay, EveryStoredInput) {
    const std::pair<const char*, decltype(&fuzz::extract_case)> targets[] = {
        {"fuzz_extract", fuzz::extract_case},
        {"fuzz_relink_list", fuzz::relink_list_case},
        {"fuzz_rebuild_image", fuzz::rebuild_image_case}};
    for (const auto& [target, run_case] : targets)
        for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(ISORELINK_SOURCE_DIR) /
                                                                     "tests/corpus" / target)) {
            if (!entry.is_regular_file() || entry.path().filename().string().front() == '.') continue;
            ScratchDir dir;
            const std::string what = std::string(target) + " " + entry.path().filename().string();
            EXPECT_EQ(bounded(what, [&] { return run_case(dir.prefix(), fuzz::read_file(entry.path().string())); }), "")
                << what;
        }
}

} // namespace
} // namespace isorelink::test
