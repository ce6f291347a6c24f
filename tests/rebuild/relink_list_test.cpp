// The relink list's line grammar and the line loop: which lines are read,
// which end the list, which refuse it.
#include <gtest/gtest.h>

#include "rebuild/relink_list.h"
#include "support/test_support.h"

namespace isorelink {
namespace {

using test::ScratchDir;

constexpr const char* kSystemCnf = "00000130|000004D2|0000B8A2|0020F934|\\SYSTEM.CNF";

TEST(HexField, EightHexDigitsInEitherCaseAndNothingElse) {
    using namespace std::string_view_literals;
    EXPECT_EQ(parse_hex_field("0000B8A2"), 47266u);
    EXPECT_EQ(parse_hex_field("0000b8a2"), 47266u);
    EXPECT_EQ(parse_hex_field("FFFFFFFF"), 0xFFFFFFFFu);
    for (auto bad : {"0000B8AG"sv, " 000B8A2"sv, "0000B8A"sv, "0000B8A20"sv, "+0000001"sv, "0x00B8A2"sv,
                     "0000B8A\0"sv, "-0000001"sv})
        EXPECT_FALSE(parse_hex_field(bad)) << bad;
}

TEST(RelinkLine, ReadsTheFieldsTheKindNeeds) {
    for (ImageKind kind : {ImageKind::Ps2Dvd, ImageKind::Ps2Cd, ImageKind::PspUmd}) {
        const auto line = parse_relink_line(kSystemCnf, kind, 1);
        ASSERT_TRUE(line);
        EXPECT_EQ(line->sector, 304u);
        EXPECT_EQ(line->size, 1234u);
        EXPECT_EQ(line->record_field, 47266u);
        EXPECT_EQ(line->descriptor, kind == ImageKind::Ps2Dvd ? 2160948u : 0u);
    }
}

TEST(RelinkLine, LengthDecidesAndSeparatorsAndPathAreNotExamined) {
    const std::string full = kSystemCnf;
    const struct {
        std::string text;
        ImageKind kind;
        bool read;
    } cases[] = {
        {full.substr(0, 26), ImageKind::Ps2Cd, true},   {full.substr(0, 25), ImageKind::Ps2Cd, false},
        {full.substr(0, 26), ImageKind::Ps2Dvd, false}, {full.substr(0, 35), ImageKind::Ps2Dvd, true},
        {full.substr(0, 34), ImageKind::Ps2Dvd, false},
        // A CD line's fourth field is never read, so anything may stand there.
        {"00000130#000004D2 0000B8A2|not hex at all", ImageKind::Ps2Cd, true},
        {"00000130#000004D2 0000B8A2|not hex at all", ImageKind::Ps2Dvd, false},
    };
    for (const auto& c : cases) EXPECT_EQ(parse_relink_line(c.text, c.kind, 1).has_value(), c.read) << c.text;
}

// The line loop over a list file.
class RelinkListRead : public ::testing::Test {
protected:
    Expected<std::vector<RelinkLine>> read(const std::string& text, std::uint32_t count,
                                           ImageKind kind = ImageKind::Ps2Cd) {
        const auto path = dir.file("L.TXT");
        test::write_text(path, text);
        auto file = File::open(path, "rb");
        EXPECT_TRUE(file);
        return read_relink_list(*file, path, kind, count);
    }
    static std::string line(unsigned sector) {
        char text[64];
        std::snprintf(text, sizeof text, "%08X|00000800|%08X|\\F%u.BIN\r\n", sector, 0x9000 + sector * 48, sector);
        return text;
    }
    std::string three() { return line(1) + line(2) + line(3); }
    ScratchDir dir;
};

TEST_F(RelinkListRead, CountComesFromTheRecordFileAndTheFirstLineAlwaysCounts) {
    struct Case {
        std::uint32_t count;
        std::size_t lines;
    };
    // Record files of 0, 11, 12 and 25 bytes give n = 0, 0, 1 and 2.
    for (const Case c : {Case{0, 1}, Case{11 / 12, 1}, Case{12 / 12, 1}, Case{25 / 12, 2}, Case{3, 3}, Case{9, 3}}) {
        auto lines = read(three(), c.count);
        ASSERT_TRUE(lines) << lines.error().message;
        ASSERT_EQ(lines->size(), c.lines) << "n = " << c.count;
        EXPECT_EQ(lines->back().sector, c.lines);
        EXPECT_EQ(lines->back().number, c.lines);
    }
}

TEST_F(RelinkListRead, ABlankOrShortLineEndsTheList) {
    auto blank = read(line(1) + "\r\n" + line(2), 5);
    ASSERT_TRUE(blank);
    EXPECT_EQ(blank->size(), 1u);
    // Six characters and a line feed end it; nothing after is read.
    auto six = read(line(1) + "012345\n" + line(2), 5);
    ASSERT_TRUE(six);
    EXPECT_EQ(six->size(), 1u);
    // CR LF: the carriage return is not part of the line.
    auto six_crlf = read(line(1) + "012345\r\n" + "garbage that would be refused\n", 5);
    ASSERT_TRUE(six_crlf);
    EXPECT_EQ(six_crlf->size(), 1u);
    auto empty = read("", 5);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());
}

TEST_F(RelinkListRead, LfAndCrLfAndLowerCaseReadAlike) {
    auto crlf = read(three(), 3);
    std::string lf = three();
    std::erase(lf, '\r');
    std::string lower = lf;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    auto plain = read(lf, 3);
    auto small = read(lower, 3);
    ASSERT_TRUE(crlf && plain && small);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ((*plain)[i].record_field, (*crlf)[i].record_field);
        EXPECT_EQ((*small)[i].record_field, (*crlf)[i].record_field);
        EXPECT_EQ((*small)[i].sector, (*crlf)[i].sector);
    }
    // A last line without its line feed still counts.
    std::string open_end = lf.substr(0, lf.size() - 1);
    auto last = read(open_end, 3);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->size(), 3u);
}

TEST_F(RelinkListRead, OneBadLineRefusesTheWholeList) {
    const std::string path = dir.file("L.TXT");
    struct Case {
        std::string text;
        const char* why;
    };
    const Case cases[] = {
        {line(1) + line(2) + "0000000G|00000800|00009030|\\X\n", "not hex"},
        {line(1) + line(2) + "0123456\n", "seven characters pass the length test, hold no fields"},
        {line(1) + line(2) + "00000003|00000800|0000903\n", "too short for a CD line"},
        {line(1) + line(2) + "00000003|00000800|00009030|" + std::string(2100, 'P') + "\n", "longer than 2047"},
    };
    for (const auto& c : cases) {
        auto lines = read(c.text, 9);
        ASSERT_FALSE(lines) << c.why;
        EXPECT_EQ(lines.error().message, "Code 405 - invalid relink line 3 " + path) << c.why;
    }
    // A DVD line needs its fourth field.
    auto dvd = read(line(1), 1, ImageKind::Ps2Dvd);
    ASSERT_FALSE(dvd);
    EXPECT_EQ(dvd.error().message, "Code 405 - invalid relink line 1 " + path);
    // Lines beyond the n-th are never read, so a bad one there refuses nothing.
    auto beyond = read(line(1) + "0000000G|bad\n", 1);
    ASSERT_TRUE(beyond);
    EXPECT_EQ(beyond->size(), 1u);
}

TEST_F(RelinkListRead, LongestLineFitsItsBuffer) {
    const std::string head = "00000003|00000800|00009030|";
    const std::string fits = head + std::string(2046 - head.size(), 'P') + "\n";  // 2047 with its line feed
    auto ok = read(fits, 1);
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->size(), 1u);
    auto over = read(head + std::string(2047 - head.size(), 'P') + "\n", 1);
    EXPECT_FALSE(over);
}

} // namespace
} // namespace isorelink
