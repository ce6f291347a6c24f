#pragma once
// The sector listing's line, which the relink list repeats: fixed-width
// hexadecimal fields, a vertical bar after each, the path, CR LF.
//
//   PS2 DVD:          SSSSSSSS|BBBBBBBB|CCCCCCCC|DDDDDDDD|\PATH
//   PS2 CD, PSP UMD:  SSSSSSSS|BBBBBBBB|CCCCCCCC|\PATH
//
//   S  first sector     C  offset of the directory record's extent field
//   B  size in bytes    D  offset of the UDF File Entry's short_ad
//
// Fields are written as "%08X" writes them (eight upper-case digits, more
// for a value past 32 bits) and read as exactly eight hex digits of either
// case, taken by position.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace isorelink {

namespace listing {
inline constexpr std::size_t kFieldWidth = 8;
inline constexpr std::size_t kSector = 0;        // S (the relink list's A)
inline constexpr std::size_t kSize = 9;          // B
inline constexpr std::size_t kRecordField = 18;  // C
inline constexpr std::size_t kDescriptor = 27;   // D
// Characters a line needs to hold every field its kind reads.
inline constexpr std::size_t kFieldsWithoutDescriptor = kRecordField + kFieldWidth;  // 26
inline constexpr std::size_t kFieldsWithDescriptor = kDescriptor + kFieldWidth;      // 35
// Where the path starts, after the last field's bar.
inline constexpr std::size_t kPathWithoutDescriptor = kFieldsWithoutDescriptor + 1;  // 27
inline constexpr std::size_t kPathWithDescriptor = kFieldsWithDescriptor + 1;        // 36
inline constexpr std::string_view kLineEnd = "\r\n";
// The longest line the relink list reader takes, counting its line feed but
// not a carriage return before it: what a 2048-byte buffer holds.
inline constexpr std::size_t kLongestLine = 2047;
inline constexpr char kBar = '|';
static_assert(kSize == kSector + kFieldWidth + 1 && kRecordField == kSize + kFieldWidth + 1 &&
              kDescriptor == kRecordField + kFieldWidth + 1);
} // namespace listing

struct ListingFields {
    std::uint32_t sector = 0;
    std::uint32_t size = 0;
    std::uint32_t record_field = 0;
    std::uint32_t descriptor = 0;  // with a descriptor field only, 0 otherwise
};

// At least eight upper-case hexadecimal digits, as "%08X" writes them (up to
// sixteen for a 64-bit value). Returns the end of what it wrote.
inline char* put_hex8(char* out, std::uint64_t value) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    int digits = 8;
    while (digits < 16 && (value >> (4 * digits)) != 0) ++digits;
    for (int i = digits - 1; i >= 0; --i) *out++ = kDigits[(value >> (4 * i)) & 0xF];
    return out;
}

// Eight hex digits at p, the first the most significant, all eight at once.
// Each byte is tested against '0'-'9' and, with its case bit set, 'a'-'f' by
// adding so that the byte's top bit carries the comparison (every byte is
// first checked to be below 0x80, so no sum reaches into its neighbour). A
// digit's value is then its low four bits, plus 9 for a letter (bit 6 set),
// and the nibbles are gathered pairwise. `valid` is cleared for anything but
// eight hex digits.
inline std::uint32_t parse_hex8(const char* p, bool& valid) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kTops = 0x80 * kOnes;
    // The first character in the low byte, whatever the machine's byte order.
    std::uint64_t x = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&x, p, sizeof x);
    } else {
        for (std::size_t i = 0; i < listing::kFieldWidth; ++i)
            x |= std::uint64_t{static_cast<unsigned char>(p[i])} << (8 * i);
    }
    const std::uint64_t lower = x | 0x20 * kOnes;
    const std::uint64_t digit = ((x + 0x50 * kOnes) & ~(x + 0x46 * kOnes)) & kTops;          // 0x30-0x39
    const std::uint64_t letter = ((lower + 0x1F * kOnes) & ~(lower + 0x19 * kOnes)) & kTops;  // 0x61-0x66
    valid = valid && (x & kTops) == 0 && (digit | letter) == kTops;
    x = (x & 0x0F * kOnes) + ((x >> 6) & kOnes) * 9;
    x = ((x & 0x00FF00FF00FF00FFull) << 4) | ((x >> 8) & 0x00FF00FF00FF00FFull);
    x = ((x & 0x0000FFFF0000FFFFull) << 8) | ((x >> 16) & 0x0000FFFF0000FFFFull);
    return static_cast<std::uint32_t>(((x & 0xFFFF) << 16) | ((x >> 32) & 0xFFFF));
}

// Appends one line with its CR LF. The numbers are 64-bit so that a value
// past 32 bits is written whole, as "%08X" would.
inline void append_listing_line(std::string& out, bool with_descriptor, std::uint64_t sector, std::uint64_t size,
                                std::uint64_t record_field, std::uint64_t descriptor, std::string_view path) {
    char head[4 * 17];
    char* end = put_hex8(head, sector);
    *end++ = listing::kBar;
    end = put_hex8(end, size);
    *end++ = listing::kBar;
    end = put_hex8(end, record_field);
    *end++ = listing::kBar;
    if (with_descriptor) {
        end = put_hex8(end, descriptor);
        *end++ = listing::kBar;
    }
    out.append(head, end);
    out += path;
    out += listing::kLineEnd;
}

inline void append_listing_line(std::string& out, bool with_descriptor, const ListingFields& fields,
                                std::string_view path) {
    append_listing_line(out, with_descriptor, fields.sector, fields.size, fields.record_field, fields.descriptor,
                        path);
}

// The fields of a line (without its line end), taken by position: false when
// the line is too short for them or a field holds anything but eight hex
// digits. The characters between the fields are not looked at.
inline bool parse_listing_fields(std::string_view text, bool with_descriptor, ListingFields& fields) {
    if (text.size() < (with_descriptor ? listing::kFieldsWithDescriptor : listing::kFieldsWithoutDescriptor))
        return false;
    bool valid = true;
    fields.sector = parse_hex8(text.data() + listing::kSector, valid);
    fields.size = parse_hex8(text.data() + listing::kSize, valid);
    fields.record_field = parse_hex8(text.data() + listing::kRecordField, valid);
    fields.descriptor = with_descriptor ? parse_hex8(text.data() + listing::kDescriptor, valid) : 0;
    return valid;
}

// True when a bar follows every field, as the listing writes them.
inline bool listing_bars_in_place(std::string_view text, bool with_descriptor) {
    const std::size_t fields = with_descriptor ? 4 : 3;
    for (std::size_t i = 1; i <= fields; ++i) {
        const std::size_t at = i * (listing::kFieldWidth + 1) - 1;
        if (at >= text.size() || text[at] != listing::kBar) return false;
    }
    return true;
}

// Where a line's path starts.
constexpr std::size_t listing_path_start(bool with_descriptor) {
    return with_descriptor ? listing::kPathWithDescriptor : listing::kPathWithoutDescriptor;
}

// The longest path a line can carry and still be read back whole.
constexpr std::size_t longest_listed_path(bool with_descriptor) {
    return listing::kLongestLine - 1 - listing_path_start(with_descriptor);
}
static_assert(longest_listed_path(true) == 2010 && longest_listed_path(false) == 2019);

} // namespace isorelink
