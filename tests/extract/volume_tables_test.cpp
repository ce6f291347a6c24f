// The sector order list, the header sector count and the directory list.
#include <gtest/gtest.h>

#include "common/sector.h"
#include "extract/hand_image.h"
#include "volume/header_copy.h"
#include "volume/identifier_name.h"
#include "volume/path_table_reader.h"
#include "volume/path_table_record.h"
#include "volume/sector_order.h"

namespace isorelink {
namespace {

using test::as_bytes;

struct Row {
    std::uint32_t extent;
    std::uint16_t parent;
    std::string identifier;
};

std::vector<std::byte> table_of(const std::vector<Row>& rows) {
    std::vector<std::byte> table;
    for (const auto& row : rows) {
        const auto id = row.identifier.empty() ? std::vector<std::byte>{std::byte{0}} : as_bytes(row.identifier);
        encode_path_table_record(table, row.extent, row.parent, id);
    }
    return table;
}

TEST(PathTableRecord, RoundTripsWithItsPadByte) {
    auto table = table_of({{20, 1, ""}, {21, 1, "ABC"}, {22, 1, "DATA"}});
    ASSERT_EQ(table.size(), 10u + 12 + 12);  // odd identifiers carry a pad byte
    const auto second = decode_path_table_record(table, 10);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->extent, 21u);
    EXPECT_EQ(second->size, 12u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(second->identifier.data()), 3), "ABC");
    EXPECT_FALSE(decode_path_table_record(std::span(table).first(25), 22));  // identifier cut off
}

TEST(SectorOrder, SortsKeepsDuplicatesAndStopsAtTheZeroWordOrTheEnd) {
    auto table = table_of({{30, 1, ""}, {25, 1, "A"}, {40, 1, "BB"}, {25, 2, "CCC"}});
    const auto exact = sector_order_list(table);  // fills its area exactly: no terminator
    EXPECT_EQ(exact, (std::vector<std::uint32_t>{25, 25, 30, 40}));
    EXPECT_EQ(highest_directory(exact), 40u);

    // A zero word ends the table; what follows is not read.
    auto padded = table;
    padded.resize(table.size() + 2);
    auto late = table_of({{99, 1, "LATE"}});
    padded.insert(padded.end(), late.begin(), late.end());
    EXPECT_EQ(sector_order_list(padded).size(), 4u);

    std::vector<std::byte> empty(2048);
    EXPECT_TRUE(sector_order_list(empty).empty());
    EXPECT_EQ(highest_directory({}), 0u);
}

TEST(HeaderSectorCount, PerKindAndDirectoryLength) {
    for (auto kind : {ImageKind::Ps2Cd, ImageKind::PspUmd}) {
        EXPECT_EQ(header_sector_count(kind, 280, 2048), 281u);
        EXPECT_EQ(header_sector_count(kind, 280, 5000), 282u);  // the remainder is dropped
        EXPECT_EQ(header_sector_count(kind, 280, 6144), 283u);
    }
    EXPECT_EQ(header_sector_count(ImageKind::Ps2Dvd, 280, 2048), 281u);
    EXPECT_EQ(header_sector_count(ImageKind::Ps2Dvd, 280, 6144), 281u);
    EXPECT_EQ(header_sector_count(ImageKind::Ps2Cd, 0xFFFFFFFF, 6144), 0x100000002ull);  // no 32-bit wrap
}

TEST(IdentifierName, VersionCutAndSanitizing) {
    const std::pair<std::string, std::string> cases[] = {
        {"README.TXT;1", "README.TXT"}, {"DATA.;1", "DATA."}, {"FILE.BIN;12", "FILE.BIN;12"}, {"A;1", "A"},
        {";", ";"}, {"X", "X"}, {"A\\B/C\x01\x7F\xE9;1", "A_B_C__\xE9"}, {".", "_"}, {"..;1", "__"}, {"...", "..."},
    };
    for (const auto& [id, name] : cases) EXPECT_EQ(listing_name(as_bytes(id)), name) << id;
}

TEST(DirectoryList, FullPathsInPathTableOrder) {
    auto table = table_of({{20, 1, "ROOT"}, {21, 1, "DATA"}, {22, 1, "DIR;1"}, {23, 2, "MOVIE"}, {24, 4, "A;1"}});
    auto list = directory_list(table, static_cast<std::uint32_t>(table.size()), "img");
    ASSERT_TRUE(list) << list.error().message;
    ASSERT_EQ(list->size(), 5u);
    const std::vector<std::string> paths = {"", "\\DATA", "\\DIR", "\\DATA\\MOVIE", "\\DATA\\MOVIE\\A"};
    for (std::size_t i = 0; i < paths.size(); ++i) {
        EXPECT_EQ((*list)[i].path, paths[i]);
        EXPECT_EQ((*list)[i].number, i + 1);
    }
    EXPECT_EQ((*list)[2].identifier_length, 5);  // the recorded length survives the cut
    EXPECT_EQ((*list)[0].extent, 20u);
}

TEST(DirectoryList, OrderByParentNumberAndParentsOnlyFromBefore) {
    // Record 3 names parent 2 before record 4 with parent 1; record 5 names a
    // parent (6) that comes later; record 6 has parent 0 and becomes the head.
    auto table = table_of({{20, 1, ""}, {21, 1, "A"}, {22, 2, "B"}, {23, 1, "C"}, {24, 6, "D"}, {25, 0, "E"}});
    auto list = directory_list(table, static_cast<std::uint32_t>(table.size()), "img");
    ASSERT_TRUE(list);
    std::vector<std::string> paths;
    for (const auto& node : *list) paths.push_back(node.path);
    EXPECT_EQ(paths, (std::vector<std::string>{"E", "", "\\A", "\\C", "\\A\\B", "D"}));
}

TEST(DirectoryList, ParentWithAGreaterParentNumberIsNotFound) {
    // Record 3's parent is record 2, whose parent number (3) is greater than
    // record 3's own (2): it stands after the insertion point.
    auto table = table_of({{20, 1, ""}, {21, 3, "A"}, {22, 2, "B"}});
    auto list = directory_list(table, static_cast<std::uint32_t>(table.size()), "img");
    ASSERT_TRUE(list);
    EXPECT_EQ((*list)[1].path, "B");
    EXPECT_EQ((*list)[2].path, "A");
}

TEST(DirectoryList, StructuralFaults) {
    const auto message = [](const std::vector<std::byte>& t, std::uint32_t size) {
        auto list = directory_list(t, size, "/i/G.ISO");
        return list ? std::string("ok") : list.error().message;
    };
    auto table = table_of({{20, 1, ""}, {21, 1, "DATA"}});
    EXPECT_EQ(message(table, 0), "Code 1106 - invalid volume structure /i/G.ISO (empty path table)");
    EXPECT_EQ(message(std::vector<std::byte>(table.begin(), table.end() - 2), static_cast<std::uint32_t>(table.size())),
              "Code 1106 - invalid volume structure /i/G.ISO (path table record outside the image)");

    std::vector<Row> deep = {{20, 1, ""}};
    for (std::uint16_t i = 1; i <= 30; ++i) deep.push_back({20u + i, i, std::string(8, 'D')});
    auto deep_table = table_of(deep);
    EXPECT_EQ(message(deep_table, static_cast<std::uint32_t>(deep_table.size())),
              "Code 1106 - invalid volume structure /i/G.ISO (directory path too long)");
    deep.resize(29);  // 28 levels of 9 characters: 252
    deep_table = table_of(deep);
    EXPECT_EQ(message(deep_table, static_cast<std::uint32_t>(deep_table.size())), "ok");

    std::vector<Row> many(65536, Row{20, 1, "D"});
    auto many_table = table_of(many);
    EXPECT_EQ(message(many_table, static_cast<std::uint32_t>(many_table.size())),
              "Code 1106 - invalid volume structure /i/G.ISO (more than 65535 path table records)");
    many.resize(65535);
    many_table = table_of(many);
    EXPECT_EQ(message(many_table, static_cast<std::uint32_t>(many_table.size())), "ok");
}

} // namespace
} // namespace isorelink
