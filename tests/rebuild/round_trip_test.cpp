#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "format/sector.h"
#include "extract/extraction_job.h"
#include "read/sector_listing.h"
#include "kit/image_builder.h"
#include "rebuild/hand_image.h"
#include "support/oracles.h"

namespace isorelink::test {
namespace {

using Bytes = std::vector<std::byte>;

class RoundTrip : public ::testing::TestWithParam<ImageKind> {};

TEST_P(RoundTrip, ReadersSeeTheNewPlacesAndContents) {
    const ImageKind kind = GetParam();
    ScratchDir dir;
    std::map<std::string, Bytes> files;
    const auto image = dir.file("NEW-GAME.ISO");
    kit::ImageRecipe recipe;
    recipe.kind = kind;
    unsigned seed = 0;
    for (const auto& [name, size] : {std::pair{"/SYSTEM.CNF", 40}, {"/DATA/MOVE.BIN", 5000}}) {
        kit::FileRecipe f;
        f.path = name;
        std::replace(f.path.begin(), f.path.end(), '/', '\\');
        f.content = files[name] = Bytes(static_cast<std::size_t>(size), std::byte(++seed));
        recipe.files.push_back(std::move(f));
    }
    ASSERT_EQ(failure(kit::write_image(recipe, dir.file("GAME.ISO"))), "");
    ASSERT_EQ(failure(run_extraction(dir.prefix(), "GAME.ISO")), "");
    std::filesystem::copy_file(dir.file("GAME.ISO"), image);

    auto lines = host::parse_sector_listing(read_text(dir.file("GAME.ISO-LSN.TXT")), kind);
    ASSERT_TRUE(lines) << lines.error().message;
    const auto move_sector = static_cast<std::uint32_t>(whole_sectors(std::filesystem::file_size(image)));
    files["/DATA/MOVE.BIN"] = Bytes(7000, std::byte{40});
    for (auto& line : *lines)
        if (line.path == "\\DATA\\MOVE.BIN") line.sector = move_sector, line.size = 7000;
    put_bytes(image, sector_offset(move_sector), files["/DATA/MOVE.BIN"]);
    std::filesystem::resize_file(image, sector_offset(move_sector + 4));
    write_text(dir.file("GAME.ISO-relink-LSN.TXT"), host::format_sector_listing(*lines, kind));
    // The same lines the other way round (File Entries in descending order) leave the same image.
    ScratchDir reversed;
    std::filesystem::copy_file(image, reversed.file("NEW-GAME.ISO"));
    std::filesystem::copy_file(dir.file("GAME.ISO.xqe"), reversed.file("GAME.ISO.xqe"));
    std::reverse(lines->begin(), lines->end());
    write_text(reversed.file("GAME.ISO-relink-LSN.TXT"), host::format_sector_listing(*lines, kind));
    ASSERT_EQ(failure(run_rebuild(dir.prefix(), "GAME.ISO")), "");
    ASSERT_EQ(failure(run_rebuild(reversed.prefix(), "GAME.ISO")), "");
    EXPECT_TRUE(read_bytes(reversed.file("NEW-GAME.ISO")) == read_bytes(image));

    // 7-Zip's anchor search through zero sectors stops at the "postgap" right behind MOVE.BIN: exit 2 at most.
    for (const std::string type : {"iso", "udf"}) {
        if (!have_program("7z") || (type == "udf" && kind != ImageKind::Ps2Dvd)) continue;
        EXPECT_LE(seven_zip_extract(image, type, dir.file(type)), type == "udf" ? 2 : 0);
        for (const auto& [name, bytes] : files)
            EXPECT_TRUE(read_bytes(dir.file(type) + name) == bytes) << type << " gives other contents for " << name;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryKind, RoundTrip,
                         ::testing::Values(ImageKind::Ps2Cd, ImageKind::Ps2Dvd, ImageKind::PspUmd));

} // namespace
} // namespace isorelink::test
