// The search for the UDF partition's first sector.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "rebuild/hand_image.h"
#include "rebuild/partition_start.h"
#include "support/test_support.h"

namespace isorelink::test {
namespace {

const std::vector<std::byte> kCharset = hex_bytes("00 4F 53 54 41 20 43 6F 6D 70 72 65 73 73 65 64");

class PartitionStart : public ::testing::Test {
protected:
    Expected<std::uint32_t> search(std::uint64_t size, const std::vector<std::uint64_t>& at) {
        const auto path = dir.file("NEW-GAME.ISO");
        { std::ofstream create(path, std::ios::binary | std::ios::trunc); }
        std::filesystem::resize_file(path, size);
        for (auto x : at) put_bytes(path, x, kCharset);
        auto file = File::open(path, "rb");
        EXPECT_TRUE(file);
        return find_partition_start(*file, path);
    }
    ScratchDir dir;
};

TEST_F(PartitionStart, FirstCharsetOnTheGridWinsWhereverItLies) {
    const std::uint64_t odd = 4 * 1024 * 1024 + 2048 * 7 + 64;
    const struct {
        std::uint64_t size;
        std::vector<std::uint64_t> at;
        std::uint32_t start;
    } cases[] = {
        {2048 * 300, {48 + 2048 * 257}, 257},
        // Off-grid copies (like the volume descriptors' charsets) are passed over.
        {2048 * 600, {32 * 2048 + 20 + 1, 34 * 2048 + 200 + 4, 48 + 2048 * 265, 48 + 2048 * 400}, 265},
        // Beyond the first megabyte block, and in the last 16 bytes of a file
        // whose length is no multiple of the block.
        {5 * 1024 * 1024 + 123, {3 * 1024 * 1024 + 48}, 3 * 512},
        {odd, {odd - 16}, static_cast<std::uint32_t>((odd - 16 - 48) / 2048)},
    };
    for (const auto& c : cases) {
        auto p = search(c.size, c.at);
        ASSERT_TRUE(p) << c.size;
        EXPECT_EQ(*p, c.start);
    }
}

TEST_F(PartitionStart, EndsAtTheImageEndWith406) {
    const auto path = dir.file("NEW-GAME.ISO");
    for (const auto& at : {std::vector<std::uint64_t>{}, std::vector<std::uint64_t>{48 + 2048 * 257 + 4},
                           std::vector<std::uint64_t>{0}}) {
        auto p = search(3 * 1024 * 1024 + 8, at);
        ASSERT_FALSE(p);
        EXPECT_EQ(p.error().message, "Code 406 - UDF partition not found " + path);
    }
    // Pattern cut by the end of the file.
    auto cut = search(2048 * 10 + 8, {});
    EXPECT_FALSE(cut);
}

} // namespace
} // namespace isorelink::test
