// The listing line: what the writer formats, the relink list and the
// sector listing reader parse back, digit for digit.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "format/listing_line.h"

namespace isorelink {
namespace {

std::string line_of(bool dvd, const ListingFields& fields, std::string_view path) {
    std::string text;
    append_listing_line(text, dvd, fields, path);
    return text;
}

TEST(ListingLineRoundTrip, DvdLineWithDescriptor) {
    const ListingFields fields{0x0001E240, 0xFFFFFFFF, 0x0000B022, 0x0008D134};
    const std::string text = line_of(true, fields, "\\DATA\\MOVIE0.PSS");
    EXPECT_EQ(text, "0001E240|FFFFFFFF|0000B022|0008D134|\\DATA\\MOVIE0.PSS\r\n");
    const std::string_view body(text.data(), text.size() - 2);
    ListingFields parsed;
    ASSERT_TRUE(parse_listing_fields(body, true, parsed));
    EXPECT_EQ(parsed.sector, fields.sector);
    EXPECT_EQ(parsed.size, fields.size);
    EXPECT_EQ(parsed.record_field, fields.record_field);
    EXPECT_EQ(parsed.descriptor, fields.descriptor);
    EXPECT_TRUE(listing_bars_in_place(body, true));
    EXPECT_EQ(body.substr(listing_path_start(true)), "\\DATA\\MOVIE0.PSS");
    EXPECT_EQ(line_of(true, parsed, body.substr(listing_path_start(true))), text);
}

TEST(ListingLineRoundTrip, CdLineWithoutDescriptor) {
    const std::string text = line_of(false, {0x17, 0x800, 0x9C22, 0xDEAD}, "\\A.BIN");
    EXPECT_EQ(text, "00000017|00000800|00009C22|\\A.BIN\r\n");
    ListingFields parsed;
    ASSERT_TRUE(parse_listing_fields(text, false, parsed));
    EXPECT_EQ(parsed.descriptor, 0u);  // not read for this kind
    EXPECT_EQ(parsed.record_field, 0x9C22u);
}

TEST(ListingLineFormat, ValuesPast32BitsAreWrittenWhole) {
    std::string text;
    append_listing_line(text, false, 1, 2, std::uint64_t{0x1'0000'0002}, 0, "\\X");
    EXPECT_EQ(text, "00000001|00000002|100000002|\\X\r\n");
}

TEST(ListingLineParse, LowerCaseDigitsAreRead) {
    ListingFields parsed;
    ASSERT_TRUE(parse_listing_fields("abcdef01|0000000a|fFfFfFfF|\\P", false, parsed));
    EXPECT_EQ(parsed.sector, 0xABCDEF01u);
    EXPECT_EQ(parsed.size, 0xAu);
    EXPECT_EQ(parsed.record_field, 0xFFFFFFFFu);
}

// Every byte value in every digit position: accepted exactly when it is a
// hex digit, and then worth what strtoul says.
TEST(ListingLineParse, EachByteInEachDigitPosition) {
    for (std::size_t position = 0; position < listing::kFieldWidth; ++position) {
        for (int c = 0; c < 256; ++c) {
            std::string field = "00000000";
            field[position] = static_cast<char>(c);
            bool valid = true;
            const std::uint32_t value = parse_hex8(field.data(), valid);
            const bool hex = std::isxdigit(c) != 0;
            ASSERT_EQ(valid, hex) << "byte " << c << " at " << position;
            if (hex) {
                ASSERT_EQ(value, std::stoul(field, nullptr, 16)) << field;
            }
        }
    }
}

TEST(ListingLineParse, ShortLinesAndMissingBars) {
    ListingFields parsed;
    EXPECT_FALSE(parse_listing_fields("00000001|00000002|0000000", false, parsed));  // 25 characters
    EXPECT_TRUE(parse_listing_fields("00000001|00000002|00000003", false, parsed));
    EXPECT_FALSE(parse_listing_fields("00000001|00000002|00000003|0000000", true, parsed));
    // The fields are taken by position: what stands between them is not looked at.
    EXPECT_TRUE(parse_listing_fields("00000001x00000002x00000003x", false, parsed));
    EXPECT_FALSE(listing_bars_in_place("00000001x00000002x00000003x", false));
    EXPECT_FALSE(listing_bars_in_place("00000001|00000002|00000003", false));  // no bar after the last field
    EXPECT_TRUE(listing_bars_in_place("00000001|00000002|00000003|", false));
    EXPECT_FALSE(listing_bars_in_place("00000001|00000002|00000003|", true));
}

} // namespace
} // namespace isorelink
