#include <gtest/gtest.h>

#include <filesystem>

#include "format/endian.h"
#include "format/iso9660/layout.h"
#include "format/sector.h"
#include "extract/extraction_job.h"
#include "extract/hand_image.h"
#include "support/test_support.h"

namespace isorelink {
namespace {

using test::HandImage;

enum class Left { Missing, Empty, Filled };
const std::string kProducts[] = {"temp1.tmp", "G.ISO-LSN.TXT", "G.ISO-Filelist.txt", "tmp.tmp",
                                 "G.ISO.xqe"};  // in creation order

struct ExtractionJob : ::testing::Test {
    Expected<ExtractionSummary> run(const std::vector<std::byte>& image) {
        test::write_bytes(dir.file("G.ISO"), image);
        return run_extraction(dir.prefix(), "G.ISO");
    }
    std::string failure(const std::vector<std::byte>& image) {
        auto outcome = run(image);
        return outcome ? "ok" : outcome.error().message;
    }
    std::string structure(const std::string& reason) {
        return "Code 1106 - invalid volume structure " + dir.file("G.ISO") + " (" + reason + ")";
    }
    Left left(const std::string& name) {
        return !std::filesystem::is_regular_file(dir.file(name)) ? Left::Missing
               : std::filesystem::file_size(dir.file(name)) == 0 ? Left::Empty
                                                                 : Left::Filled;
    }
    void expect_left(Left header, Left sectors, Left files, Left table, Left records) {
        const Left expected[] = {header, sectors, files, table, records};
        for (int i = 0; i < 5; ++i) EXPECT_EQ(left(kProducts[i]), expected[i]) << kProducts[i];
    }
    test::ScratchDir dir;
};

TEST_F(ExtractionJob, Ps2CdProductsAndNoWorkingFilesLeft) {
    HandImage hand;
    hand.directories[0].files = {{"SYSTEM.CNF;1", 30, 1234}, {"A.BIN;1", 28, 5}};
    hand.directories.push_back({"DATA", 1, 21, 6144, {{"MOVIE.PSS;1", 31, 4096, 0x80}, {"MOVIE.PSS;1", 33, 7}}});
    auto summary = run(hand.bytes());
    ASSERT_TRUE(summary) << summary.error().message;
    EXPECT_EQ(summary->data_start_sector, 24u);
    EXPECT_EQ(summary->header_sectors, 24u);
    EXPECT_EQ(test::read_text(dir.file("G.ISO-LSN.TXT")),
              "0000001C|00000005|0000A074|\\A.BIN\r\n"
              "0000001E|000004D2|0000A046|\\SYSTEM.CNF\r\n"
              "0000001F|00001000|0000A846|\\DATA\\MOVIE0.PSS\r\n"
              "00000021|00000007|0000A872|\\DATA\\MOVIE1.PSS\r\n");
    EXPECT_EQ(test::read_text(dir.file("G.ISO-Filelist.txt")),
              "0000028 , \\A.BIN\r\n0000030 , \\SYSTEM.CNF\r\n"
              "0000031 , \\DATA\\MOVIE0.PSS\r\n0000033 , \\DATA\\MOVIE1.PSS\r\n");
    EXPECT_EQ(test::read_text(dir.file("G.ISO.xqe")).substr(0, 16), std::string("\x18\0\0\0vexovexo\x1E\0\0\0", 16));
    expect_left(Left::Missing, Left::Filled, Left::Filled, Left::Missing, Left::Filled);
}

TEST_F(ExtractionJob, Ps2DvdPairsDescriptorsByDataOrder) {
    HandImage hand;
    hand.directories[0].files = {{"SYSTEM.CNF;1", 24, 1234}, {"SLUS_123.45;1", 25, 99}};
    hand.application_use.clear();
    auto bytes = hand.bytes();
    test::put_file_entry(bytes, 22, 1, 4);  // File Entries in the reverse order of their files' data
    test::put_file_entry(bytes, 23, 2, 3);
    auto summary = run(bytes);
    ASSERT_TRUE(summary) << summary.error().message;
    EXPECT_EQ(summary->descriptor_anchor, sector_offset(22) + 308);
    EXPECT_EQ(test::read_text(dir.file("G.ISO-LSN.TXT")),
              "00000018|000004D2|0000A046|0000B934|\\SYSTEM.CNF\r\n"
              "00000019|00000063|0000A074|0000B134|\\SLUS_123.45\r\n");
}

TEST_F(ExtractionJob, AnImageWithoutFilesGivesEmptyListingsAndAFourByteRecordFile) {
    ASSERT_TRUE(run(HandImage().bytes()));
    expect_left(Left::Missing, Left::Empty, Left::Empty, Left::Missing, Left::Filled);
    EXPECT_EQ(test::read_text(dir.file("G.ISO.xqe")), std::string("\x15\0\0\0", 4));
}

TEST_F(ExtractionJob, EarlyFailuresCreateNoFile) {
    auto bytes = HandImage().bytes();
    bytes.resize(33794);  // "CD" without "-"
    EXPECT_EQ(failure(bytes), "Code 1101a - invalid file header " + dir.file("G.ISO"));
    expect_left(Left::Missing, Left::Missing, Left::Missing, Left::Missing, Left::Missing);
}

TEST_F(ExtractionJob, EachCreateFailureLeavesTheFilesBeforeItEmpty) {
    const std::string codes[] = {"1101b - ", "1101c - ", "1101d - ", "1101e - ", "1104- "};
    for (int b = 0; b < 5; ++b) {
        for (const auto& name : kProducts) std::filesystem::remove_all(dir.file(name));
        std::filesystem::create_directory(dir.file(kProducts[b]));  // cannot be opened as a file
        EXPECT_EQ(failure(HandImage().bytes()), "Code " + codes[b] + "Error Opening " + dir.file(kProducts[b]));
        for (int i = 0; i < 5; ++i) EXPECT_EQ(left(kProducts[i]), i < b ? Left::Empty : Left::Missing) << kProducts[i];
    }
}

TEST_F(ExtractionJob, PathTableCopyLengthsAfterALaterFailure) {
    for (const auto& c : {std::pair{19u, 2048u}, {22u, 4 * 2048u}, {18u, 0u}, {0u, 2048u}, {5u, 2048u}}) {
        HandImage hand;  // a DVD without File Entries: the anchor search fails after the copy
        hand.application_use.clear();
        hand.optional_path_table_sector = c.first;
        EXPECT_EQ(failure(hand.bytes()), structure("no UDF file entry found"));
        EXPECT_EQ(std::filesystem::file_size(dir.file("tmp.tmp")), c.second) << c.first;
    }
}

TEST_F(ExtractionJob, ImagesThatEndEarly) {
    HandImage hand;
    hand.directories[0].files = {{"A;1", 30, 1}};
    hand.directories[0].size = 30 * 2048;  // the root runs past the image: the header copy is padded
    EXPECT_EQ(failure(hand.bytes()), structure("directory outside the image"));
    EXPECT_EQ(std::filesystem::file_size(dir.file("temp1.tmp")), 50u * 2048);
    expect_left(Left::Filled, Left::Empty, Left::Empty, Left::Filled, Left::Empty);

    auto table = HandImage().bytes();
    put_le32(table, iso::kTypeLPathTableOffset, 41);
    EXPECT_EQ(failure(table), structure("path table outside the image"));
}

} // namespace
} // namespace isorelink
