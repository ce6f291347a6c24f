// The new image's copy: a sparse source stays sparse, and the bytes are the
// same as a copy of the source written out in full would hold.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

#include "round_trip_support.h"
#include "support/kit_fixtures.h"
#include "platform/image_copy.h"
#include "platform/progress_bar.h"

namespace isorelink::test {
namespace {

namespace fs = std::filesystem;

std::uint64_t allocated_bytes(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? static_cast<std::uint64_t>(info.st_blocks) * 512 : 0;
}

void write_at(const std::string& path, std::uint64_t offset, const Bytes& bytes) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(offset)).write(reinterpret_cast<const char*>(bytes.data()),
                                                       static_cast<std::streamsize>(bytes.size()));
}

constexpr std::uint64_t kMiB = 1u << 20;

TEST(ImageCopy, KeepsTheSourcesHolesAndItsBytes) {
    ScratchDir dir;
    const auto source = dir.file("SPARSE.ISO");
    write_bytes(source, {});
    fs::resize_file(source, 64 * kMiB);  // data at 0, 20 MiB and the last bytes; holes between
    write_at(source, 0, sample_bytes(100000, 1));
    write_at(source, 20 * kMiB + 5, sample_bytes(300000, 2));
    write_at(source, 64 * kMiB - 10, sample_bytes(10, 3));
    if (allocated_bytes(source) > 4 * kMiB) GTEST_SKIP() << "this file system does not keep holes";
    write_bytes(dir.file("local"), sample_bytes(5000, 4));

    // A file's new content over data, a cleared tail over a hole, and one behind the end.
    const std::vector<host::Overlay> overlays{{50000, 8192, dir.file("local"), 5000},
                                              {40 * kMiB, 4 * kMiB, dir.file("local"), 5000},
                                              {70 * kMiB, 6144, dir.file("local"), 5000}};
    auto copied = host::write_overlaid_copy(source, dir.file("NEW.ISO"), overlays, true);
    ASSERT_TRUE(copied.ok()) << copied.error().message;
    EXPECT_LT(allocated_bytes(dir.file("NEW.ISO")), allocated_bytes(source) + 2 * kMiB)
        << "the copy allocated the source's holes";

    // The bytes a full copy would hold.
    auto expected = read_bytes(source);
    const auto local = sample_bytes(5000, 4);
    expected.resize(70 * kMiB + 6144);
    for (const auto& o : overlays) {
        std::fill(expected.begin() + static_cast<std::ptrdiff_t>(o.offset),
                  expected.begin() + static_cast<std::ptrdiff_t>(o.offset + o.length), std::byte{0});
        std::copy(local.begin(), local.end(), expected.begin() + static_cast<std::ptrdiff_t>(o.offset));
    }
    EXPECT_TRUE(read_bytes(dir.file("NEW.ISO")) == expected) << "the copy's bytes differ";
}

TEST(ImageCopy, ASparseImageStaysSparseThroughReplace) {
    ScratchDir dir;
    kit::ImageRecipe recipe;
    recipe.kind = ImageKind::Ps2Dvd;
    recipe.files = {pattern_file("\\DATA\\TEXT.BIN", 3000), pattern_file("\\DATA\\MOVIE.PSS", 10000)};
    recipe.files.push_back(pattern_file("\\DATA\\PAD.BIN", 200 * kMiB));
    recipe.files.back().pattern = kit::ContentPattern::Zero;  // written as a hole
    recipe.files.push_back(pattern_file("\\DATA\\LAST.BIN", 5000));
    const auto image = dir.file("GAME.ISO");
    ASSERT_TRUE(kit::write_image(recipe, image));
    if (allocated_bytes(image) > 20 * kMiB) GTEST_SKIP() << "this file system does not keep holes";
    write_bytes(dir.file("text"), sample_bytes(9000, 5));
    const auto r = run_command(std::string(ISORELINK_CLI) + " replace --quiet " + shell_quote(image) +
                               " /DATA/TEXT.BIN=" + shell_quote(dir.file("text")));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    const auto new_image = dir.file("NEW-GAME.ISO");
    EXPECT_LT(allocated_bytes(new_image), allocated_bytes(image) + 2 * kMiB)
        << allocated_bytes(new_image) << " bytes allocated for a source of " << allocated_bytes(image);
    EXPECT_EQ(run_command(std::string(ISORELINK_CLI) + " verify --quiet " + shell_quote(new_image)).exit_code, 0);
}

TEST(ProgressBar, ThePercentageSaysWhatTheByteCountSays) {
    EXPECT_EQ(host::progress_line("copying", 99 * kMiB, 100 * kMiB),
              "copying [#######################################.]  99% 99/100 MiB");
    EXPECT_EQ(host::progress_line("copying", 1 * kMiB, 100 * kMiB).substr(51), "  1% 1/100 MiB");
    EXPECT_EQ(host::progress_line("copying", 0, 0).substr(51), "100% 0/0 MiB");
    EXPECT_EQ(host::progress_line("copying", 200 * kMiB, 100 * kMiB).substr(51), "100% 100/100 MiB");
}

} // namespace
} // namespace isorelink::test
