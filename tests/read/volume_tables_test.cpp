// The directory list read from the path table.
#include <gtest/gtest.h>

#include "read/path_table_reader.h"
#include "support/hand_image.h"

namespace isorelink {
namespace {

using test::HandDirectory;

std::string listed(const std::vector<std::byte>& table, std::uint32_t recorded_size) {
    auto list = directory_list(table, recorded_size, "img");
    if (!list) return list.error().message;
    std::string paths;
    for (const auto& node : *list) paths += node.path + "|";
    return paths;
}

std::string listed(const std::vector<HandDirectory>& rows) {
    const auto table = test::path_table(rows);
    return listed(table, static_cast<std::uint32_t>(table.size()));
}

std::string fault(const std::string& reason) { return "Code 1106 - invalid volume structure img (" + reason + ")"; }

TEST(DirectoryList, OrderedByParentNumberWithParentsOnlyFromBefore) {
    // "D" names a later parent and "E" parent 0: both become heads of their own paths.
    EXPECT_EQ(listed({{"", 1, 20}, {"A", 1, 21}, {"B", 2, 22}, {"C;1", 1, 23}, {"D", 6, 24}, {"E", 0, 25}}),
              "E||\\A|\\C|\\A\\B|D|");
}

// Paths of any length are built up to what a listing line could carry; the
// directories below are kept, marked, without a path.
TEST(DirectoryList, DeepTreesKeepTheirPathsUpToTheLongestLine) {
    std::vector<HandDirectory> deep = {{"", 1, 20}};
    for (std::uint16_t i = 1; i <= 14; ++i) deep.push_back({std::string(150, 'D'), i, 20u + i});
    auto table = path_table(deep);
    const auto list = directory_list(table, static_cast<std::uint32_t>(table.size()), "img");
    ASSERT_TRUE(list) << list.error().message;
    ASSERT_EQ(list->size(), 15u);
    EXPECT_EQ((*list)[13].path.size(), 13u * 151);  // 1,963 characters
    EXPECT_FALSE((*list)[13].path_too_long);
    EXPECT_TRUE((*list)[14].path_too_long);  // 2,114 characters
    EXPECT_EQ((*list)[14].path, "");
}

TEST(DirectoryList, MoreThan65535RecordsIsAFault) {
    EXPECT_EQ(listed(std::vector<HandDirectory>(65536, {"D", 1, 20})), fault("more than 65535 path table records"));
}

TEST(DirectoryList, AnEmptyTableIsAFault) {
    EXPECT_EQ(listed(test::path_table({{"", 1, 20}, {"DATA", 1, 21}}), 0), fault("empty path table"));
}

TEST(DirectoryList, ARecordCutByTheImageEndIsAFault) {
    auto table = test::path_table({{"", 1, 20}, {"DATA", 1, 21}});
    const auto recorded = static_cast<std::uint32_t>(table.size());
    table.resize(table.size() - 2);
    EXPECT_EQ(listed(table, recorded), fault("path table record outside the image"));
}

} // namespace
} // namespace isorelink
