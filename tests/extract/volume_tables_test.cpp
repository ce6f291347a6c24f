// The directory list read from the path table.
#include <gtest/gtest.h>

#include "extract/hand_image.h"
#include "read/path_table_reader.h"

namespace isorelink {
namespace {

std::string listed(const std::vector<test::HandDirectory>& rows) {
    auto table = test::path_table(rows);
    auto list = directory_list(table, static_cast<std::uint32_t>(table.size()), "img");
    if (!list) return list.error().message;
    std::string paths;
    for (const auto& node : *list) paths += node.path + "|";
    return paths;
}

TEST(DirectoryList, OrderAndFaults) {
    // Ordered by parent number; parents only from before; parent 0 becomes the head.
    EXPECT_EQ(listed({{"", 1, 20}, {"A", 1, 21}, {"B", 2, 22}, {"C;1", 1, 23}, {"D", 6, 24}, {"E", 0, 25}}),
              "E||\\A|\\C|\\A\\B|D|");
    EXPECT_EQ(listed(std::vector<test::HandDirectory>(65536, {"D", 1, 20})),
              "Code 1106 - invalid volume structure img (more than 65535 path table records)");
    auto table = test::path_table({{"", 1, 20}, {"DATA", 1, 21}});
    EXPECT_EQ(directory_list(table, 0, "img").error().message,
              "Code 1106 - invalid volume structure img (empty path table)");
    EXPECT_EQ(directory_list(std::span(table).first(table.size() - 2), static_cast<std::uint32_t>(table.size()), "img")
                  .error().message,
              "Code 1106 - invalid volume structure img (path table record outside the image)");
}

// Paths of any length are built up to what a listing line could carry; the
// directories below are kept, marked, without a path.
TEST(DirectoryList, DeepTreesKeepTheirPathsUpToTheLongestLine) {
    std::vector<test::HandDirectory> deep = {{"", 1, 20}};
    for (std::uint16_t i = 1; i <= 14; ++i) deep.push_back({std::string(150, 'D'), i, 20u + i});
    auto table = test::path_table(deep);
    const auto list = directory_list(table, static_cast<std::uint32_t>(table.size()), "img");
    ASSERT_TRUE(list) << list.error().message;
    ASSERT_EQ(list->size(), 15u);
    EXPECT_EQ((*list)[13].path.size(), 13u * 151);  // 1,963 characters
    EXPECT_FALSE((*list)[13].path_too_long);
    EXPECT_TRUE((*list)[14].path_too_long);  // 2,114 characters
    EXPECT_EQ((*list)[14].path, "");
}

} // namespace
} // namespace isorelink
