// The walk over a directory's records.
#include <gtest/gtest.h>

#include "format/iso9660/layout.h"
#include "support/hand_image.h"
#include "format/iso9660/directory_record.h"
#include "read/directory_walker.h"
#include "support/test_support.h"

namespace isorelink {
namespace {

// A directory's extent: itself, its parent, then the given records.
struct ExtentBuilder {
    std::vector<std::byte> bytes;
    ExtentBuilder() {
        encode_directory_record(bytes, 20, 2048, iso::dr::kFlagDirectory, std::vector<std::byte>{std::byte{0}});
        encode_directory_record(bytes, 20, 2048, iso::dr::kFlagDirectory, std::vector<std::byte>{std::byte{1}});
    }
    ExtentBuilder& add(const std::string& name, std::uint32_t sector, std::uint32_t size, std::uint8_t flags = 0) {
        encode_directory_record(bytes, sector, size, flags, test::text_bytes(name));
        return *this;
    }
};

std::string walked(const std::vector<std::byte>& extent, std::uint64_t offset = 0) {
    DirectoryWalker walker("img");
    if (auto ok = walker.walk_extent(extent, offset, "\\D"); !ok) return ok.error().message;
    std::string paths;
    const FileList list = walker.take_files();
    for (const auto& f : list.files) paths.append(f.path).append("|");
    for (const auto& cut : list.cut_directories)
        paths.append("cut ").append(cut.path).append(cut.why == CutDirectory::Why::EmptySelfRecord ? " (empty .)" : "")
            .append("|");
    return paths;
}

const std::string kOutside = "Code 1106 - invalid volume structure img (directory record outside its directory)";

TEST(DirectoryWalk, FlagsPiecesAndNames) {
    EXPECT_EQ(walked(ExtentBuilder()
                         .add("MOVIE.PSS;1", 100, 2048, 0x80).add("MOVIE.PSS;1", 101, 10, 0x00)
                         .add("H.BIN;1", 104, 2048, 0x81).add("H.BIN;1", 105, 3, 0x01)
                         .add("SUB", 106, 2048, 0x02).add("ASSOC;1", 107, 1, 0x04).add("REC;1", 108, 1, 0x08)
                         .add("A.B.C;1", 110, 2048, 0x80).add("A.B.C;1", 111, 1, 0x00)
                         .add("..", 112, 1).add("A\\..\\B;1", 113, 1).add("C\x0D\x0A;1", 114, 1)
                         .bytes),
              "\\D\\MOVIE0.PSS|\\D\\MOVIE1.PSS|\\D\\H.BIN|\\D\\A0.B0.C|\\D\\A1.B1.C|\\D\\__|\\D\\A_.._B|\\D\\C__|");
}

TEST(DirectoryWalk, AZeroLengthMovesToTheNextSectorEvenAtASectorsStart) {
    auto tails = ExtentBuilder().add("A;1", 5, 1).bytes;
    tails.resize(2 * 2048);
    encode_directory_record(tails, 6, 1, 0, test::text_bytes("B;1"));
    tails.resize(3 * 2048);
    EXPECT_EQ(walked(tails), "\\D\\A|\\D\\B|");
}

TEST(DirectoryWalk, ARecordPastTheDirectoryEndsItsListing) {
    auto cut = ExtentBuilder().add("A;1", 5, 1).add("B;1", 6, 1).bytes;
    cut.resize(cut.size() - 10);  // B's record runs past the directory's length
    EXPECT_EQ(walked(cut), "\\D\\A|cut \\D|");
}

TEST(DirectoryWalk, AnIdentifierPastItsRecordEndsItsListing) {
    auto long_identifier = ExtentBuilder().add("A;1", 5, 1).add("AB", 6, 1).bytes;
    long_identifier.resize(2048);  // the identifier runs past its record, not past the extent
    long_identifier[68 + 36 + 32] = std::byte{9};
    EXPECT_EQ(walked(long_identifier), "\\D\\A|cut \\D|");
}

TEST(DirectoryWalk, AnEmptySelfRecordListsNothingOfItsDirectory) {
    EXPECT_EQ(walked(std::vector<std::byte>(2048)), "cut \\D (empty .)|");
}

TEST(DirectoryWalk, ARecordBeyond4GiBIsAStructuralFault) {
    EXPECT_EQ(walked(ExtentBuilder().add("A;1", 5, 1).bytes, 0xFFFFFFF0ull),
              "Code 1106 - invalid volume structure img (directory record beyond 4 GiB)");
}

TEST(DirectoryWalk, UnopenableImageIsReported) {
    test::ScratchDir dir;
    auto missing = walk_directories({{20, 1, 1, 1, ""}}, dir.file("NONE.ISO"));
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().message, "Code 1101h - Error Opening " + dir.file("NONE.ISO"));
}

} // namespace
} // namespace isorelink
