#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>

#include "common/messages.h"
#include "format/endian.h"
#include "format/udf/tag.h"
#include "rebuild/relink_list.h"
#include "rebuild/volume_end.h"
#include "rebuild_folder.h"

namespace isorelink::test {
namespace {

// A = 304, B = 1234, C = 47266, D = 2160948 = sector 1055, byte 308; P = 257.
constexpr const char* kSystemCnf = "00000130|000004D2|0000B8A2|0020F934|\\SYSTEM.CNF\r\n";
constexpr std::uint64_t kC = 47266, kD = 2160948, kEntry = 1055 * 2048;
const auto kRecord = hex_bytes("30 01 00 00 00 00 01 30 D2 04 00 00 00 00 04 D2");
const HandImage kCd{.kind = ImageKind::Ps2Cd, .size = 100 * 2048, .volume_sectors = 100};
const HandImage kPsp{.kind = ImageKind::PspUmd, .size = 100 * 2048, .volume_sectors = 100};
const HandImage kDvd{.kind = ImageKind::Ps2Dvd, .size = 1100 * 2048, .volume_sectors = 1100,  // no end step to do
                     .partition_start = 257, .partition_length = 842, .entry_sectors = {1055, 1056}};

struct EachKind : RebuildFolder, ::testing::WithParamInterface<ImageKind> {};

TEST_P(EachKind, ChangesExactlyItsBytesAndALineTwiceChangesNoMore) {
    const ImageKind kind = GetParam();
    build(kind == ImageKind::Ps2Cd ? kCd : kind == ImageKind::PspUmd ? kPsp : kDvd);
    put_bytes(image(), kC - 2, std::vector<std::byte>(20, std::byte{0xEE}));
    auto expected = read_bytes(image());
    put_bytes(expected, kC, kRecord);
    if (kind == ImageKind::Ps2Cd) {  // its post-gap: 100 + 150 sectors
        expected.resize(250 * 2048);
        put_bytes(expected, 32848, hex_bytes("FA 00 00 00 00 00 00 FA"));
        put_bytes(expected, 250 * 2048 - 7, text_bytes("postgap"));
    } else if (kind == ImageKind::Ps2Dvd) {
        put_bytes(expected, kD, hex_bytes("D2 04 00 00 2F 00 00 00"));  // B, A - P = 47
        put_bytes(expected, kD - 252, hex_bytes("D2 04 00 00"));
        put_bytes(expected, kEntry + 64, hex_bytes("01 00 00 00 00 00 00 00"));
        udf::reseal_tag(MutableByteView(expected).subspan(kEntry, 2048));
    }
    relink(kSystemCnf, 12);
    ASSERT_EQ(failure(run()), "");
    EXPECT_TRUE(read_bytes(image()) == expected);
    if (kind == ImageKind::Ps2Cd) return;  // grows by another post-gap on every run
    relink(std::string(kSystemCnf) + kSystemCnf, 24);
    ASSERT_TRUE(run());
    EXPECT_TRUE(read_bytes(image()) == expected) << "twice";
}

INSTANTIATE_TEST_SUITE_P(Rebuild, EachKind, kEveryKind, kind_param_name);

TEST_F(RebuildFolder, RecordBeyondTwoGigabytes) {
    build({.kind = ImageKind::PspUmd, .size = 0x90001000ull, .volume_sectors = 100});  // C beyond 2 GB, sparse
    relink("00000130|000004D2|90000010|\\FAR\n", 12);
    ASSERT_TRUE(run());
    EXPECT_EQ(bytes_at(image(), 0x90000010ull, 16), kRecord);
}

std::string line(unsigned i, const char* end = "\r\n") {
    char text[64];
    std::snprintf(text, sizeof text, "%08X|00000800|%08X|\\F%u%s", 0xAB + i, 0xA000 + 48 * i, i, end);
    return text;
}
const std::string kHead = "00000003|00000800|00009030|";
const std::string kThree = line(0) + line(1) + line(2);

// A relink list the rebuild applies, in part: the record file's length says how many lines at most.
struct Applied {
    const char* name;
    std::string list;
    std::size_t record_bytes;
    std::uint32_t lines_applied;
    friend void PrintTo(const Applied& c, std::ostream* out) { *out << c.name; }
};

struct AppliesLines : RebuildFolder, ::testing::WithParamInterface<Applied> {};

TEST_P(AppliesLines, OnAPspImage) {
    build(kPsp);
    relink(GetParam().list, GetParam().record_bytes);
    auto outcome = run();
    ASSERT_TRUE(outcome) << outcome.error().message;
    EXPECT_EQ(outcome->lines_applied, GetParam().lines_applied);
}

INSTANTIATE_TEST_SUITE_P(
    RelinkList, AppliesLines,
    ::testing::Values(
        Applied{"EmptyRecordFileStillOneLine", kThree, 0, 1}, Applied{"ElevenRecordBytesOneLine", kThree, 11, 1},
        Applied{"TwelveRecordBytesOneLine", kThree, 12, 1}, Applied{"TwentyFiveRecordBytesTwoLines", kThree, 25, 2},
        Applied{"MoreRecordsThanLines", kThree, 120, 3},
        Applied{"LineFeedsAndNoFinalLineEnd", line(0, "\n") + line(1, "\n") + line(2, ""), 36, 3},
        Applied{"StopsAtAShortLine", line(0) + "012345\r\n" + "garbage that would be refused\n", 36, 1},
        Applied{"LinesBeyondTheRecordsAreNeverRead", line(0) + "0000000G|bad\n", 12, 1},
        Applied{"LineOf2047CharactersWithItsLineFeed", kHead + std::string(2046 - kHead.size(), 'P') + "\n", 12, 1},
        Applied{"RecordEndingAtTheImageEnd", "00000130|000004D2|00031FF0|\\LAST\n", 12, 1}),
    case_name<Applied>);

TEST_F(RebuildFolder, LinesRunningAcrossReadBlocksAreReadWhole) {
    // 33 then 32 characters a line: line 2048's CR ends the first 64 KiB block, its LF starts the second.
    constexpr unsigned kLines = 4200;
    std::string list = "00000001|00000800|00009000|\\FFF\r\n";
    for (unsigned i = 0; i < kLines; ++i) {
        char text[40];
        std::snprintf(text, sizeof text, "%08X|00000800|%08X|\\FF\r\n", 0x100 + i, 0xA000 + 16 * i);
        list += text;
    }
    build(kPsp);
    relink(list, 12 * (kLines + 1));
    ASSERT_EQ(failure(run()), "");
    for (unsigned i = 0; i < kLines; ++i) ASSERT_EQ(le32(bytes_at(image(), 0xA000 + 16 * i, 4), 0), 0x100 + i) << i;
}

TEST(RelinkLine, EveryByteIsAHexDigitOrRefusesTheLine) {
    for (std::size_t position = 0; position < 8; ++position) {
        for (unsigned b = 0; b < 256; ++b) {
            std::string text = "00000000|00000000|00000000|00000000|\\X";
            text[9 + position] = static_cast<char>(b);
            const auto line = parse_relink_line(text, ImageKind::Ps2Dvd);
            const bool hex = std::isxdigit(static_cast<int>(b)) != 0 && b < 0x80;
            ASSERT_EQ(line.has_value(), hex) << b << " at " << position;
            if (!hex) continue;
            const auto digit = std::stoul(std::string(1, static_cast<char>(b)), nullptr, 16);
            EXPECT_EQ(line->size, digit << (4 * (7 - position))) << b;
        }
    }
}

// A third line the rebuild refuses after two sound ones: nothing is written.
struct BadLine {
    const char* name;
    ImageKind kind;
    std::string line;
    std::string_view reason;  // the check the refusal names
    friend void PrintTo(const BadLine& c, std::ostream* out) { *out << c.name; }
};

struct RefusesTheWholeList : RebuildFolder, ::testing::WithParamInterface<BadLine> {};

TEST_P(RefusesTheWholeList, ForOneBadLine) {
    const bool dvd = GetParam().kind == ImageKind::Ps2Dvd;
    build(dvd ? kDvd : kPsp);
    relink((dvd ? std::string(kSystemCnf) + kSystemCnf : line(0) + line(1)) + GetParam().line, 36);
    expect_refused("Code 405 - invalid relink line 3 " + list() + " (" + std::string(GetParam().reason) + ")",
                   GetParam().line.substr(0, 40));
}

INSTANTIATE_TEST_SUITE_P(
    RelinkList, RefusesTheWholeList,
    ::testing::Values(
        BadLine{"LineOf2048Characters", ImageKind::PspUmd, kHead + std::string(2047 - kHead.size(), 'P') + "\n",
                msg::relink_refusal::kLineTooLong},
        BadLine{"RecordOneByteBeyondTheImage", ImageKind::PspUmd, "00000130|000004D2|00031FF1|\\X\n",
                msg::relink_refusal::kRecordOutsideImage},
        BadLine{"AFieldNotHexadecimal", ImageKind::PspUmd, "00000130|000004G2|00031FF0|\\X\n",
                msg::relink_refusal::kFieldNotHex},
        BadLine{"TooShortForADvdLine", ImageKind::Ps2Dvd, "00000130|000004D2|0000B8A2|0020F93\n",
                msg::relink_refusal::kLineTooShort},
        BadLine{"SectorBelowThePartition", ImageKind::Ps2Dvd, "00000100|000004D2|0000B8A2|0020F934|\\X\n",
                msg::relink_refusal::kBelowPartition},
        BadLine{"NoFileEntryInTheDescriptorsSector", ImageKind::Ps2Dvd, "00000130|000004D2|0000B8A2|00210934|\\X\n",
                msg::relink_refusal::kNoFileEntry},
        BadLine{"InformationLengthBeforeTheEntry", ImageKind::Ps2Dvd, "00000130|000004D2|0000B8A2|0020F8FB|\\X\n",
                msg::relink_refusal::kNoFileEntry},
        BadLine{"ShortAdAcrossTheEntrysEnd", ImageKind::Ps2Dvd, "00000130|000004D2|0000B8A2|0020FFF9|\\X\n",
                msg::relink_refusal::kNoFileEntry},
        BadLine{"DescriptorOutsideTheImage", ImageKind::Ps2Dvd, "00000130|000004D2|0000B8A2|FFFFFFF9|\\X\n",
                msg::relink_refusal::kDescriptorOutsideImage}),
    case_name<BadLine>);

TEST_F(RebuildFolder, AFileEntryWhoseCrcLengthRunsPastItsSectorRefusesTheLine) {
    build(kDvd);
    put_bytes(image(), kEntry + 10, hex_bytes("F1 07"));  // CRC length 2033
    relink(kSystemCnf, 12);
    expect_refused("Code 405 - invalid relink line 1 " + list() + " (" + std::string(msg::relink_refusal::kNoFileEntry) + ")",
                   "CRC length beyond the sector");
}

TEST_F(RebuildFolder, APartitionPatternOffTheSectorGridIsNotFound) {
    build(kDvd);  // the charset 8 bytes off the grid
    put_bytes(image(), 257 * 2048 + 48, text_bytes(std::string_view("\0\0\0\0\0\0\0\0\0OSTA Compressed", 24)));
    relink(kSystemCnf, 12);
    expect_refused("Code 406 - UDF partition not found " + image(), "pattern off the grid");
}

TEST_F(RebuildFolder, RefusalsInTheirOrder) {
    EXPECT_EQ(failure(run()), "Code 401 - Error Opening " + image());
    build(HandImage{});
    expect_refused("Code 402 - Error Opening " + list(), "no relink list");
    write_text(list(), kSystemCnf);
    expect_refused("Code 404- Error Opening " + records(), "no record file");
    build({.kind = ImageKind::PspUmd, .size = 33792, .volume_sectors = 16});  // too short to hold the byte at 33792
    relink("00000130|000004D2|00000010|\\A\n", 12);
    expect_refused("Code 409 - not a disc image " + image(), "33792 bytes");
}

TEST(VolumeEnd, AMissingImageIsReportedWithTheKindsCode) {
    ScratchDir dir;
    const auto gone = dir.file("NEW-GONE.ISO");
    for (const auto& [kind, code] : {std::pair{ImageKind::Ps2Dvd, "4001dvd"}, std::pair{ImageKind::Ps2Cd, "4003cd"},
                                     std::pair{ImageKind::PspUmd, "4001psp"}})
        EXPECT_EQ(failure(finish_volume(kind, gone, 257)),
                  std::string("Code ") + code + " - Error!!! Opening [" + gone + "]");
}

TEST_F(RebuildFolder, UnknownKindBytesAreServedAsPsp) {
    build({.kind = ImageKind::Ps2Cd, .size = 100 * 2048 + 700, .volume_sectors = 7});
    put_bytes(image(), 32777, hex_bytes("00"));
    relink("00000130|000004D2|00000010|\\A\n", 12);
    EXPECT_EQ(failure(run()), "");
    EXPECT_EQ(std::filesystem::file_size(image()), 100u * 2048 + 700);  // no post-gap, the partial sector kept
    EXPECT_EQ(bytes_at(image(), 32848, 8), hex_bytes("64 00 00 00 00 00 00 64"));  // whole sectors
}

} // namespace
} // namespace isorelink::test
