// The sector order list, identifier names and the directory list.
#include <gtest/gtest.h>

#include "extract/hand_image.h"
#include "volume/identifier_name.h"
#include "volume/path_table_reader.h"
#include "volume/path_table_record.h"
#include "volume/sector_order.h"

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

TEST(SectorOrder, KeepsDuplicatesAndStopsAtTheZeroWordOrTheEnd) {
    auto table = table_of({{30, 1, ""}, {25, 1, "A"}, {40, 1, "BB"}, {25, 2, "CCC"}});
    EXPECT_EQ(sector_order_list(table), (std::vector<std::uint32_t>{25, 25, 30, 40}));  // no terminator
    table.resize(table.size() + 2);
    auto late = table_of({{99, 1, "LATE"}});
    table.insert(table.end(), late.begin(), late.end());
    EXPECT_EQ(sector_order_list(table).size(), 4u);
}

TEST(IdentifierName, VersionCutAndSanitizing) {
    const std::pair<std::string, std::string> cases[] = {
        {"README.TXT;1", "README.TXT"}, {"DATA.;1", "DATA."}, {"FILE.BIN;12", "FILE.BIN;12"}, {";", ";"},
        {"A\\B/C\x01\x7F\xE9;1", "A_B_C__\xE9"}, {".", "_"}, {"..;1", "__"}, {"...", "..."},
    };
    for (const auto& [id, name] : cases) EXPECT_EQ(listing_name(test::as_bytes(id)), name) << id;
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
