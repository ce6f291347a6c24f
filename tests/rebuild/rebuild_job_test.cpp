#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <tuple>

#include "common/messages.h"
#include "format/endian.h"
#include "format/udf/tag.h"
#include "rebuild/hand_image.h"
#include "rebuild/relink_list.h"
#include "rebuild/volume_end.h"

namespace isorelink::test {
namespace {

// A = 304, B = 1234, C = 47266, D = 2160948 = sector 1055, byte 308; P = 257.
constexpr const char* kSystemCnf = "00000130|000004D2|0000B8A2|0020F934|\\SYSTEM.CNF\r\n";
constexpr std::uint64_t kC = 47266, kD = 2160948, kEntry = 1055 * 2048;
const auto kRecord = hex_bytes("30 01 00 00 00 00 01 30 D2 04 00 00 00 00 04 D2");
const HandImage kPsp{ImageKind::PspUmd, 100 * 2048, 100};
const HandImage kDvd{ImageKind::Ps2Dvd, 1100 * 2048, 1100, 257, 842, {1055, 1056}};  // no end step to do

void put(std::vector<std::byte>& bytes, std::uint64_t at, const std::vector<std::byte>& patch) {
    std::copy(patch.begin(), patch.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
}

TEST_F(RebuildFolder, EachKindChangesExactlyItsBytesAndALineTwiceChangesNoMore) {
    for (const auto& recipe : {HandImage{ImageKind::Ps2Cd, 100 * 2048, 100}, kPsp, kDvd}) {
        build(recipe);
        put_bytes(image(), kC - 2, std::vector<std::byte>(20, std::byte{0xEE}));
        auto expected = read_bytes(image());
        put(expected, kC, kRecord);
        if (recipe.kind == ImageKind::Ps2Cd) {  // its post-gap: 100 + 150 sectors
            expected.resize(250 * 2048);
            put(expected, 32848, hex_bytes("FA 00 00 00 00 00 00 FA"));
            put(expected, 250 * 2048 - 7, text_bytes("postgap"));
        } else if (recipe.kind == ImageKind::Ps2Dvd) {
            put(expected, kD, hex_bytes("D2 04 00 00 2F 00 00 00"));  // B, A - P = 47
            put(expected, kD - 252, hex_bytes("D2 04 00 00"));
            put(expected, kEntry + 64, hex_bytes("01 00 00 00 00 00 00 00"));
            udf::reseal_tag(MutableByteView(expected).subspan(kEntry, 2048));
        }
        relink(kSystemCnf, 12);
        ASSERT_EQ(failure(run()), "");
        EXPECT_TRUE(read_bytes(image()) == expected) << to_string(recipe.kind);
        if (recipe.kind == ImageKind::Ps2Cd) continue;  // grows by another post-gap on every run
        relink(std::string(kSystemCnf) + kSystemCnf, 24);
        ASSERT_TRUE(run());
        EXPECT_TRUE(read_bytes(image()) == expected) << to_string(recipe.kind) << " twice";
    }
}

TEST_F(RebuildFolder, RecordBeyondTwoGigabytes) {
    build(HandImage{ImageKind::PspUmd, 0x90001000ull, 100});  // C beyond 2 GB, sparse
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

TEST_F(RebuildFolder, AppliesAtMostNLinesUpToABlankOrShortOne) {
    const std::string three = line(0) + line(1) + line(2);
    const std::string line_feeds = line(0, "\n") + line(1, "\n") + line(2, "");
    const std::tuple<std::string, std::size_t, std::uint32_t> cases[] = {  // list, record bytes, lines applied
        {three, 0, 1}, {three, 11, 1}, {three, 12, 1}, {three, 25, 2}, {three, 120, 3},
        {line_feeds, 36, 3},  // LF, no final line feed
        {line(0) + "012345\r\n" + "garbage that would be refused\n", 36, 1},
        {line(0) + "0000000G|bad\n", 12, 1},                                 // beyond n: never read
        {kHead + std::string(2046 - kHead.size(), 'P') + "\n", 12, 1},  // 2047 with its line feed
        {"00000130|000004D2|00031FF0|\\LAST\n", 12, 1},                    // C + 16 == the image's length
    };
    for (const auto& [text, record_bytes, applied] : cases) {
        build(kPsp);
        relink(text, record_bytes);
        auto outcome = run();
        ASSERT_TRUE(outcome) << outcome.error().message << "\n" << text.substr(0, 80);
        EXPECT_EQ(outcome->lines_applied, applied) << text.substr(0, 80);
    }
}

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

TEST_F(RebuildFolder, OneBadLineRefusesTheWholeListNamingTheCheck) {
    namespace why = msg::relink_refusal;
    const std::tuple<const HandImage&, std::string, std::string_view> cases[] = {
        {kPsp, kHead + std::string(2047 - kHead.size(), 'P') + "\n", why::kLineTooLong},
        {kPsp, "00000130|000004D2|00031FF1|\\X\n", why::kRecordOutsideImage},  // C + 16 one byte beyond the image
        {kPsp, "00000130|000004G2|00031FF0|\\X\n", why::kFieldNotHex},
        {kDvd, "00000130|000004D2|0000B8A2|0020F93\n", why::kLineTooShort},
        {kDvd, "00000100|000004D2|0000B8A2|0020F934|\\X\n", why::kBelowPartition},  // A below P
        {kDvd, "00000130|000004D2|0000B8A2|00210934|\\X\n", why::kNoFileEntry},     // no File Entry in D's sector
        {kDvd, "00000130|000004D2|0000B8A2|0020F8FB|\\X\n", why::kNoFileEntry},  // Information Length before the entry
        {kDvd, "00000130|000004D2|0000B8A2|0020FFF9|\\X\n", why::kNoFileEntry},  // short_ad across the entry's end
        {kDvd, "00000130|000004D2|0000B8A2|FFFFFFF9|\\X\n", why::kDescriptorOutsideImage},
    };
    for (const auto& [recipe, bad, reason] : cases) {
        build(recipe);
        relink((recipe.kind == ImageKind::Ps2Dvd ? std::string(kSystemCnf) + kSystemCnf : line(0) + line(1)) + bad, 36);
        expect_refused("Code 405 - invalid relink line 3 " + list() + " (" + std::string(reason) + ")",
                       bad.substr(0, 40));
    }
    build(kDvd);
    put_bytes(image(), kEntry + 10, hex_bytes("F1 07"));  // CRC length 2033: beyond the sector
    relink(kSystemCnf, 12);
    expect_refused("Code 405 - invalid relink line 1 " + list() + " (" + std::string(why::kNoFileEntry) + ")",
                   "CRC length beyond the sector");
    build(kDvd);  // the charset 8 bytes off the grid
    put_bytes(image(), 257 * 2048 + 48, text_bytes(std::string_view("\0\0\0\0\0\0\0\0\0OSTA Compressed", 24)));
    expect_refused("Code 406 - UDF partition not found " + image(), "pattern off the grid");
}

TEST_F(RebuildFolder, RefusalsInTheirOrderAndUnknownKindBytes) {
    EXPECT_EQ(failure(run()), "Code 401 - Error Opening " + image());
    build(HandImage{});
    expect_refused("Code 402 - Error Opening " + list(), "no relink list");
    write_text(list(), kSystemCnf);
    expect_refused("Code 404- Error Opening " + records(), "no record file");
    build(HandImage{ImageKind::PspUmd, 40000, 16});  // too short to hold the byte at 33792
    std::filesystem::resize_file(image(), 33792);
    relink("00000130|000004D2|00000010|\\A\n", 12);
    expect_refused("Code 409 - not a disc image " + image(), "33792 bytes");
    const auto gone = dir.file("NEW-GONE.ISO");
    for (const auto& [kind, code] : {std::pair{ImageKind::Ps2Dvd, "4001dvd"}, std::pair{ImageKind::Ps2Cd, "4003cd"},
                                     std::pair{ImageKind::PspUmd, "4001psp"}})
        EXPECT_EQ(failure(finish_volume(kind, gone, 257)),
                  std::string("Code ") + code + " - Error!!! Opening [" + gone + "]");
    build(HandImage{ImageKind::Ps2Cd, 100 * 2048 + 700, 7});
    put_bytes(image(), 32777, hex_bytes("00"));  // unknown kind bytes: served as PSP
    EXPECT_EQ(failure(run()), "");
    EXPECT_EQ(std::filesystem::file_size(image()), 100u * 2048 + 700);  // no post-gap, the partial sector kept
    EXPECT_EQ(bytes_at(image(), 32848, 8), hex_bytes("64 00 00 00 00 00 00 64"));  // whole sectors
}

} // namespace
} // namespace isorelink::test
