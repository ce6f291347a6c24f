#include "format/cd_sector.h"

#include <algorithm>
#include <cstring>

namespace isorelink::cd {

namespace {

constexpr std::size_t kHeader = 12;
constexpr std::size_t kSubheader = 16;
constexpr std::size_t kMode1Edc = 2064;
constexpr std::size_t kForm1Edc = 2072;
constexpr std::size_t kForm2Edc = 2348;
constexpr std::size_t kParityP = 2076;
constexpr std::size_t kParityQ = 2248;
// P parity follows the 1,032 data words of each plane, Q the 1,118 data and P words.
static_assert(kParityP == kHeader + 2 * 1032 && kParityQ == kHeader + 2 * 1118);

// The EDC polynomial 0x8001801B, bit-reversed for a least-significant-first CRC.
constexpr std::uint32_t kEdcReflected = 0xD8018001u;

struct Tables {
    std::array<std::uint32_t, 256> edc{};
    // In GF(2^8) with the field polynomial x^8 + x^4 + x^3 + x^2 + 1:
    std::array<std::uint8_t, 256> times_alpha{};           // x * alpha
    std::array<std::uint8_t, 256> over_alpha_plus_one{};   // x / (alpha + 1)
};

constexpr Tables make_tables() {
    Tables t;
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t crc = i;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ ((crc & 1u) ? kEdcReflected : 0u);
        t.edc[i] = crc;
        const std::uint32_t doubled = (i << 1) ^ ((i & 0x80u) ? 0x11Du : 0u);
        t.times_alpha[i] = static_cast<std::uint8_t>(doubled);
    }
    // (alpha + 1) * x = times_alpha[x] ^ x; invert that map.
    for (std::uint32_t i = 0; i < 256; ++i) t.over_alpha_plus_one[t.times_alpha[i] ^ i] = static_cast<std::uint8_t>(i);
    return t;
}

constexpr Tables kTables = make_tables();

std::uint8_t byte_at(ByteView b, std::size_t i) { return std::to_integer<std::uint8_t>(b[i]); }

std::uint8_t to_bcd(std::uint32_t v) { return static_cast<std::uint8_t>((v / 10) << 4 | (v % 10)); }

std::optional<std::uint32_t> from_bcd(std::uint8_t b) {
    if ((b >> 4) > 9 || (b & 15) > 9) return std::nullopt;
    return (b >> 4) * 10u + (b & 15u);
}

void put_edc(MutableByteView raw, std::size_t from, std::size_t at) {
    put_le32(raw, at, edc(ByteView(raw).subspan(from, at - from)));
}

// The parity of the product code over bytes 12..2351. The bytes from 12 on
// form 1,170 16-bit words, each word's two bytes in two planes coded alike.
// In a plane, the 1,032 data words stand in 24 rows of 43 columns:
//   P: each column (words 43*row + column) is a (26,24) code; its two parity
//      words are words 1032 + column and 1075 + column.
//   Q: each of the 26 diagonals (words (44*k + 43*diagonal) mod 1118, k < 43)
//      is a (45,43) code over the data and P words; its parity words are
//      1118 + diagonal and 1144 + diagonal.
// A code word V_0..V_{n-1} satisfies sum V_i = 0 and sum alpha^(n-1-i) V_i = 0;
// with S0 and S1 the sums over the n-2 data words, the parity is
// V_{n-2} = (S0 + S1) / (alpha + 1) and V_{n-1} = S0 + V_{n-2}.
template <class WordOf>
void code_vectors(std::uint8_t* area, int vectors, int length, WordOf word_of, int first_parity, int second_parity) {
    for (int plane = 0; plane < 2; ++plane)
        for (int v = 0; v < vectors; ++v) {
            std::uint8_t s0 = 0, horner = 0;
            for (int k = 0; k < length; ++k) {
                const std::uint8_t value = area[2 * word_of(v, k) + plane];
                s0 ^= value;
                horner = kTables.times_alpha[horner ^ value];  // ends as sum alpha^(n-2-i) V_i
            }
            const std::uint8_t s1 = kTables.times_alpha[horner];
            const std::uint8_t first = kTables.over_alpha_plus_one[s0 ^ s1];
            area[2 * (first_parity + v) + plane] = first;
            area[2 * (second_parity + v) + plane] = static_cast<std::uint8_t>(first ^ s0);
        }
}

void put_parity(MutableByteView raw, bool zero_header) {
    std::array<std::uint8_t, kRawSectorSize - kHeader> area;
    std::memcpy(area.data(), raw.data() + kHeader, area.size());
    if (zero_header) std::fill_n(area.begin(), 4, std::uint8_t{0});
    code_vectors(area.data(), 43, 24, [](int column, int row) { return 43 * row + column; }, 1032, 1075);
    code_vectors(area.data(), 26, 43, [](int diagonal, int k) { return (44 * k + 43 * diagonal) % 1118; }, 1118, 1144);
    std::memcpy(raw.data() + kParityP, area.data() + (kParityP - kHeader), kRawSectorSize - kParityP);
}

void put_sync_and_header(MutableByteView raw, std::uint32_t lba, std::uint8_t mode) {
    raw[0] = std::byte{0};
    std::fill_n(raw.begin() + 1, 10, std::byte{0xFF});
    raw[11] = std::byte{0};
    const std::uint32_t address = lba + kMsfOffset;
    raw[12] = std::byte{to_bcd(address / (60 * 75))};
    raw[13] = std::byte{to_bcd(address / 75 % 60)};
    raw[14] = std::byte{to_bcd(address % 75)};
    raw[15] = std::byte{mode};
}

} // namespace

bool has_sync(ByteView raw) {
    if (raw.size() < 12 || byte_at(raw, 0) != 0 || byte_at(raw, 11) != 0) return false;
    return std::all_of(raw.begin() + 1, raw.begin() + 11, [](std::byte b) { return b == std::byte{0xFF}; });
}

std::optional<std::uint32_t> header_address(ByteView raw) {
    const auto m = from_bcd(byte_at(raw, 12)), s = from_bcd(byte_at(raw, 13)), f = from_bcd(byte_at(raw, 14));
    if (!m || !s || !f || *s > 59 || *f > 74) return std::nullopt;
    const std::uint32_t address = (*m * 60 + *s) * 75 + *f;
    if (address < kMsfOffset) return std::nullopt;
    return address - kMsfOffset;
}

Mode mode_of(ByteView raw) {
    if (raw.size() < kRawSectorSize) return Mode::Unknown;
    switch (byte_at(raw, 15)) {
    case 0: return Mode::Mode0;
    case 1: return Mode::Mode1;
    case 2: return (byte_at(raw, kSubheader + 2) & kSubmodeForm2) ? Mode::Mode2Form2 : Mode::Mode2Form1;
    default: return Mode::Unknown;
    }
}

std::size_t user_data_offset(Mode mode) {
    return mode == Mode::Mode2Form1 || mode == Mode::Mode2Form2 ? 24 : 16;
}

std::uint32_t edc(ByteView data) {
    std::uint32_t crc = 0;
    for (const auto b : data) crc = (crc >> 8) ^ kTables.edc[(crc ^ std::to_integer<std::uint32_t>(b)) & 0xFFu];
    return crc;
}

void reseal(Mode mode, std::uint32_t lba, MutableByteView raw) {
    if (mode == Mode::Mode1) {
        put_sync_and_header(raw, lba, 1);
        put_edc(raw, 0, kMode1Edc);
        std::fill(raw.begin() + kMode1Edc + 4, raw.begin() + kParityP, std::byte{0});
        put_parity(raw, false);
    } else {
        put_sync_and_header(raw, lba, 2);
        put_edc(raw, kSubheader, kForm1Edc);
        put_parity(raw, true);
    }
}

void encode_mode1(ByteView user, std::uint32_t lba, MutableByteView raw) {
    std::copy_n(user.begin(), kUserSize, raw.begin() + 16);
    reseal(Mode::Mode1, lba, raw);
}

void encode_mode2_form1(ByteView user, std::uint32_t lba, const Subheader& subheader, MutableByteView raw) {
    std::copy(subheader.begin(), subheader.end(), raw.begin() + kSubheader);
    std::copy_n(user.begin(), kUserSize, raw.begin() + 24);
    reseal(Mode::Mode2Form1, lba, raw);
}

SectorCheck check_sector(ByteView raw, std::uint32_t lba) {
    SectorCheck check;
    if (raw.size() < kRawSectorSize) return check;
    check.mode = mode_of(raw);
    check.sync = has_sync(raw);
    check.address = header_address(raw) == lba;
    std::array<std::byte, kRawSectorSize> copy;
    std::copy_n(raw.begin(), kRawSectorSize, copy.begin());
    switch (check.mode) {
    case Mode::Mode0:
        check.edc = check.ecc = std::all_of(raw.begin() + 16, raw.end(), [](std::byte b) { return b == std::byte{0}; });
        break;
    case Mode::Mode1:
    case Mode::Mode2Form1: {
        const std::size_t at = check.mode == Mode::Mode1 ? kMode1Edc : kForm1Edc;
        check.edc = le32(raw, at) == edc(raw.subspan(check.mode == Mode::Mode1 ? 0 : kSubheader,
                                                     at - (check.mode == Mode::Mode1 ? 0 : kSubheader)));
        put_parity(copy, check.mode == Mode::Mode2Form1);
        check.ecc = std::equal(copy.begin() + kParityP, copy.end(), raw.begin() + kParityP);
        if (check.mode == Mode::Mode1)
            check.ecc = check.ecc && std::all_of(raw.begin() + kMode1Edc + 4, raw.begin() + kParityP,
                                                 [](std::byte b) { return b == std::byte{0}; });
        break;
    }
    case Mode::Mode2Form2: {
        const std::uint32_t stored = le32(raw, kForm2Edc);
        check.edc = stored == 0 || stored == edc(raw.subspan(kSubheader, kForm2Edc - kSubheader));
        check.ecc = true;
        break;
    }
    case Mode::Unknown: break;
    }
    return check;
}

} // namespace isorelink::cd
