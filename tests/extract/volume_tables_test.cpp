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
    std::vector<test::HandDirectory> deep = {{"", 1, 20}};
    for (std::uint16_t i = 1; i <= 30; ++i) deep.push_back({std::string(8, 'D'), i, 20u + i});
    EXPECT_EQ(listed(deep), "Code 1106 - invalid volume structure img (directory path too long)");
    EXPECT_EQ(listed(std::vector<test::HandDirectory>(65536, {"D", 1, 20})),
              "Code 1106 - invalid volume structure img (more than 65535 path table records)");
    auto table = test::path_table({{"", 1, 20}, {"DATA", 1, 21}});
    EXPECT_EQ(directory_list(table, 0, "img").error().message,
              "Code 1106 - invalid volume structure img (empty path table)");
    EXPECT_EQ(directory_list(std::span(table).first(table.size() - 2), static_cast<std::uint32_t>(table.size()), "img")
                  .error().message,
              "Code 1106 - invalid volume structure img (path table record outside the image)");
}

} // namespace
} // namespace isorelink
