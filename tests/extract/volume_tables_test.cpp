// The directory list read from the path table.
#include <gtest/gtest.h>

#include "extract/hand_image.h"
#include "volume/path_table_reader.h"
#include "volume/path_table_record.h"

namespace isorelink {
namespace {

struct Row {
    std::uint32_t extent;
    std::uint16_t parent;
    std::string identifier;
};

std::vector<std::byte> table_of(const std::vector<Row>& rows) {
    std::vector<std::byte> table;
    for (const auto& row : rows) {
        const auto id = row.identifier.empty() ? std::vector<std::byte>{std::byte{0}} : test::as_bytes(row.identifier);
        encode_path_table_record(table, row.extent, row.parent, id);
    }
    return table;
}

std::string listed(const std::vector<Row>& rows) {
    auto table = table_of(rows);
    auto list = directory_list(table, static_cast<std::uint32_t>(table.size()), "img");
    if (!list) return list.error().message;
    std::string paths;
    for (const auto& node : *list) paths += node.path + "|";
    return paths;
}

TEST(DirectoryList, OrderAndFaults) {
    // Ordered by parent number; parents only from before; parent 0 becomes the head.
    EXPECT_EQ(listed({{20, 1, ""}, {21, 1, "A"}, {22, 2, "B"}, {23, 1, "C;1"}, {24, 6, "D"}, {25, 0, "E"}}),
              "E||\\A|\\C|\\A\\B|D|");
    std::vector<Row> deep = {{20, 1, ""}};
    for (std::uint16_t i = 1; i <= 30; ++i) deep.push_back({20u + i, i, std::string(8, 'D')});
    EXPECT_EQ(listed(deep), "Code 1106 - invalid volume structure img (directory path too long)");
    EXPECT_EQ(listed(std::vector<Row>(65536, Row{20, 1, "D"})),
              "Code 1106 - invalid volume structure img (more than 65535 path table records)");
    auto table = table_of({{20, 1, ""}, {21, 1, "DATA"}});
    EXPECT_EQ(directory_list(table, 0, "img").error().message, "Code 1106 - invalid volume structure img (empty path table)");
    EXPECT_EQ(directory_list(std::span(table).first(table.size() - 2), static_cast<std::uint32_t>(table.size()), "img")
                  .error().message,
              "Code 1106 - invalid volume structure img (path table record outside the image)");
}

} // namespace
} // namespace isorelink
