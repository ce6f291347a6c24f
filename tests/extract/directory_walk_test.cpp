// The walk over a directory's records and the file list's order.
#include <gtest/gtest.h>

#include "common/iso9660_layout.h"
#include "extract/hand_image.h"
#include "listing/directory_record.h"
#include "listing/directory_walker.h"
#include "listing/piece_numbering.h"
#include "support/test_support.h"

namespace isorelink {
namespace {

using test::as_bytes;

// A directory's extent: itself, its parent, then the given records.
struct ExtentBuilder {
    std::vector<std::byte> bytes;
    ExtentBuilder() {
        encode_directory_record(bytes, 20, 2048, iso::dr::kFlagDirectory, std::vector<std::byte>{std::byte{0}});
        encode_directory_record(bytes, 20, 2048, iso::dr::kFlagDirectory, std::vector<std::byte>{std::byte{1}});
    }
    ExtentBuilder& add(const std::string& name, std::uint32_t sector, std::uint32_t size, std::uint8_t flags = 0) {
        encode_directory_record(bytes, sector, size, flags, as_bytes(name));
        return *this;
    }
    ExtentBuilder& next_sector() {
        bytes.resize((bytes.size() / 2048 + 1) * 2048);
        return *this;
    }
    std::vector<std::byte> done(std::size_t size = 2048) {
        bytes.resize(std::max(bytes.size(), size));
        return bytes;
    }
};

std::vector<std::string> paths_of(const std::vector<FileEntry>& files) {
    std::vector<std::string> out;
    for (const auto& f : files) out.push_back(f.path);
    return out;
}

TEST(DirectoryWalk, KeepsFilesInSectorOrderWithTheirRecordOffsets) {
    DirectoryWalker walker("img");
    auto root = ExtentBuilder().add("DATA", 21, 2048, iso::dr::kFlagDirectory).add("SYSTEM.CNF;1", 304, 1234)
                    .add("B.BIN;1", 300, 5).add("ZERO1;1", 400, 0).add("ZERO2;1", 400, 0).done();
    ASSERT_TRUE(walker.walk_extent(root, 40960, ""));
    auto data = ExtentBuilder().add("ZERO3;1", 400, 0).add("A.BIN;1", 10, 7).done();
    ASSERT_TRUE(walker.walk_extent(data, 43008, "\\DATA"));
    const auto files = walker.take_files();
    EXPECT_EQ(paths_of(files), (std::vector<std::string>{"\\DATA\\A.BIN", "\\B.BIN", "\\SYSTEM.CNF", "\\ZERO1",
                                                         "\\ZERO2", "\\DATA\\ZERO3"}));
    // Records: self 34, parent 34, DATA 38 -> SYSTEM.CNF at 106.
    EXPECT_EQ(files[2].record_offset, 40960u + 106);
    EXPECT_EQ(files[2].extent_field_offset(), 40960u + 108);
    EXPECT_EQ(files[2].size, 1234u);
    EXPECT_EQ(files[2].sector, 304u);
}

TEST(DirectoryWalk, ZeroTailsMoveToTheNextSectorEvenAtASectorStart) {
    DirectoryWalker walker("img");
    // Sector 0 ends early, sector 1 is empty (a zero at its very start), sector 2 holds a file.
    auto extent = ExtentBuilder().add("A;1", 5, 1).next_sector().next_sector().add("B;1", 6, 1).done(3 * 2048);
    ASSERT_TRUE(walker.walk_extent(extent, 0, ""));
    EXPECT_EQ(paths_of(walker.take_files()), (std::vector<std::string>{"\\A", "\\B"}));
}

TEST(DirectoryWalk, FlagFilterAndPieces) {
    DirectoryWalker walker("img");
    auto extent = ExtentBuilder()
                      .add("MOVIE.PSS;1", 100, 2048, 0x80).add("MOVIE.PSS;1", 101, 2048, 0x80)
                      .add("MOVIE.PSS;1", 102, 10, 0x00).add("NEXT.BIN;1", 103, 1, 0x00)
                      .add("H.BIN;1", 104, 2048, 0x81).add("H.BIN;1", 105, 3, 0x01)
                      .add("SUB", 106, 2048, 0x02).add("ASSOC;1", 107, 1, 0x04).add("REC;1", 108, 1, 0x08)
                      .add("A.B.C;1", 110, 2048, 0x80).add("A.B.C;1", 111, 1, 0x00)
                      .add("NODOT;1", 112, 2048, 0x80).add("NODOT;1", 113, 1, 0x00)
                      .done();
    ASSERT_TRUE(walker.walk_extent(extent, 0, "\\D"));
    EXPECT_EQ(paths_of(walker.take_files()),
              (std::vector<std::string>{"\\D\\MOVIE0.PSS", "\\D\\MOVIE1.PSS", "\\D\\MOVIE2.PSS", "\\D\\NEXT.BIN",
                                        "\\D\\H.BIN", "\\D\\A0.B0.C", "\\D\\A1.B1.C", "\\D\\NODOT", "\\D\\NODOT"}));
}

TEST(DirectoryWalk, PieceCountersRunOnAcrossDirectories) {
    PieceNumbering pieces;
    EXPECT_EQ(pieces.name_for(0x80, "X.BIN"), "X0.BIN");
    // The directory ends; the next kept record closes the file.
    EXPECT_EQ(pieces.name_for(0x00, "Y.BIN"), "Y1.BIN");
    EXPECT_EQ(pieces.name_for(0x00, "Z.BIN"), "Z.BIN");
}

TEST(DirectoryWalk, SanitizedNamesStayInsideTheTree) {
    DirectoryWalker walker("img");
    auto extent = ExtentBuilder().add("..", 1, 1).add(".", 2, 1).add("A\\..\\B;1", 3, 1).add("C\x0D\x0A;1", 4, 1).done();
    ASSERT_TRUE(walker.walk_extent(extent, 0, ""));
    EXPECT_EQ(paths_of(walker.take_files()), (std::vector<std::string>{"\\__", "\\_", "\\A_.._B", "\\C__"}));
}

TEST(DirectoryWalk, BrokenRecordsAreStructuralFaults) {
    const std::string outside = "Code 1106 - invalid volume structure img (directory record outside its directory)";
    auto cut = ExtentBuilder().add("A;1", 5, 1).bytes;
    cut.resize(80);  // the extent ends inside the third record
    auto too_short = ExtentBuilder().done();
    too_short[68] = std::byte{20};  // a record shorter than its fixed part
    auto long_identifier = ExtentBuilder().add("AB", 5, 1).done();
    long_identifier[68 + 32] = std::byte{9};  // identifier longer than the record
    const struct {
        std::vector<std::byte> extent;
        std::uint64_t offset;
        std::string message;
    } cases[] = {
        {cut, 0, outside},
        {too_short, 0, outside},
        {long_identifier, 0, outside},
        {std::vector<std::byte>(2048), 0, outside},  // not even its own record
        {ExtentBuilder().add("A;1", 5, 1).done(), 0xFFFFFFF0ull,
         "Code 1106 - invalid volume structure img (directory record beyond 4 GiB)"},
    };
    for (const auto& c : cases) {
        auto walked = DirectoryWalker("img").walk_extent(c.extent, c.offset, "");
        ASSERT_FALSE(walked) << c.extent.size();
        EXPECT_EQ(walked.error().message, c.message);
    }
}

TEST(DirectoryWalk, ReadsDirectoriesThroughThePlatformHandle) {
    test::ScratchDir dir;
    auto hand = test::HandImage::cd({{"SYSTEM.CNF;1", 30, 6}});
    hand.directories.push_back({"DATA", 1, 21, 6144, {{"BIG.BIN;1", 31, 9}}});
    test::write_bytes(dir.file("G.ISO"), hand.bytes());
    std::vector<DirectoryNode> directories = {{20, 1, 1, 1, ""}, {21, 2, 1, 4, "\\DATA"}};
    auto files = walk_directories(directories, dir.file("G.ISO"));
    ASSERT_TRUE(files) << files.error().message;
    EXPECT_EQ(paths_of(*files), (std::vector<std::string>{"\\SYSTEM.CNF", "\\DATA\\BIG.BIN"}));

    auto missing = walk_directories(directories, dir.file("NONE.ISO"));
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().message, "Code 1101h - Error Opening " + dir.file("NONE.ISO"));

    directories.push_back({39, 3, 1, 1, "\\LAST"});  // 6144 bytes from sector 21 fit; sector 39 holds zeros
    auto empty_self = walk_directories(directories, dir.file("G.ISO"));
    ASSERT_FALSE(empty_self);
    directories.back().extent = 40;  // the image's end
    auto outside = walk_directories(directories, dir.file("G.ISO"));
    ASSERT_FALSE(outside);
    EXPECT_EQ(outside.error().message,
              "Code 1106 - invalid volume structure " + dir.file("G.ISO") + " (directory outside the image)");
}

} // namespace
} // namespace isorelink
