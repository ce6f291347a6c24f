// EDC and ECC against a second implementation written here straight from
// ECMA-130 Annex A, bit by bit and without tables, and against raw sectors
// other authoring tools wrote.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "format/cd_sector.h"

namespace isorelink {
namespace {

using Raw = std::array<std::byte, cd::kRawSectorSize>;

std::uint8_t at(const Raw& s, std::size_t i) { return std::to_integer<std::uint8_t>(s[i]); }

// --- The second implementation -------------------------------------------

// The EDC as a polynomial division: the bits are taken least significant
// first, so each byte is reversed and fed most significant first through the
// unreflected polynomial 0x8001801B; the 32-bit remainder is reversed back.
std::uint32_t reverse_bits(std::uint32_t v, int width) {
    std::uint32_t r = 0;
    for (int i = 0; i < width; ++i) r |= ((v >> i) & 1u) << (width - 1 - i);
    return r;
}

std::uint32_t slow_edc(const Raw& s, std::size_t from, std::size_t to) {
    std::uint32_t remainder = 0;
    for (std::size_t i = from; i < to; ++i) {
        const std::uint32_t byte = reverse_bits(at(s, i), 8);
        for (int bit = 7; bit >= 0; --bit) {
            const bool top = ((remainder >> 31) & 1u) != (((byte >> bit) & 1u) != 0);
            remainder <<= 1;
            if (top) remainder ^= 0x8001801Bu;
        }
    }
    return reverse_bits(remainder, 32);
}

std::uint8_t gf_mul(std::uint8_t a, std::uint8_t b) {
    unsigned product = 0, x = a;
    for (int bit = 0; bit < 8; ++bit) {
        if ((b >> bit) & 1) product ^= x;
        x <<= 1;
        if (x & 0x100) x ^= 0x11D;
    }
    return static_cast<std::uint8_t>(product);
}

std::uint8_t gf_pow(std::uint8_t a, int n) {
    std::uint8_t r = 1;
    while (n-- > 0) r = gf_mul(r, a);
    return r;
}

// Byte `plane` of word n of the area that starts at byte 12; in Mode 2 the
// header counts as zero.
std::uint8_t word_byte(const Raw& s, int n, int plane, bool zero_header) {
    const std::size_t i = 12 + 2 * static_cast<std::size_t>(n) + static_cast<std::size_t>(plane);
    return zero_header && i < 16 ? 0 : at(s, i);
}

// Both syndromes of every P and Q vector: zero for a sector whose parity is right.
bool parity_holds(const Raw& s, bool zero_header) {
    constexpr std::uint8_t alpha = 2;
    for (int plane = 0; plane < 2; ++plane) {
        for (int column = 0; column < 43; ++column) {
            std::uint8_t s0 = 0, s1 = 0;
            for (int row = 0; row < 26; ++row) {
                const auto v = word_byte(s, 43 * row + column, plane, zero_header);
                s0 ^= v;
                s1 ^= gf_mul(gf_pow(alpha, 25 - row), v);
            }
            if (s0 || s1) return false;
        }
        for (int diagonal = 0; diagonal < 26; ++diagonal) {
            std::uint8_t s0 = 0, s1 = 0;
            for (int k = 0; k < 45; ++k) {
                const int word = k < 43 ? (44 * k + 43 * diagonal) % 1118 : 1118 + 26 * (k - 43) + diagonal;
                const auto v = word_byte(s, word, plane, zero_header);
                s0 ^= v;
                s1 ^= gf_mul(gf_pow(alpha, 44 - k), v);
            }
            if (s0 || s1) return false;
        }
    }
    return true;
}

std::uint32_t stored_le32(const Raw& s, std::size_t i) {
    return at(s, i) | at(s, i + 1) << 8 | at(s, i + 2) << 16 | static_cast<std::uint32_t>(at(s, i + 3)) << 24;
}

std::uint32_t msf_lba(const Raw& s) {
    auto bcd = [](std::uint8_t b) { return (b >> 4) * 10u + (b & 15u); };
    return (bcd(at(s, 12)) * 60 + bcd(at(s, 13))) * 75 + bcd(at(s, 14)) - 150;
}

// --------------------------------------------------------------------------

std::vector<std::byte> random_user(std::mt19937& random) {
    std::vector<std::byte> user(cd::kUserSize);
    for (auto& b : user) b = std::byte(random() & 0xFF);
    return user;
}

std::vector<std::uint32_t> many_addresses() {
    std::vector<std::uint32_t> lbas{0, 1, 15, 16, 17, 74, 75, 224, 4499, 4500, 99999, 333000, cd::kLastAddress};
    std::mt19937 random(7);
    for (int i = 0; i < 40; ++i) lbas.push_back(random() % (cd::kLastAddress + 1));
    return lbas;
}

TEST(CdSector, Mode1AgreesWithTheBitwiseCodeAtManyAddresses) {
    std::mt19937 random(1);
    for (const auto lba : many_addresses()) {
        const auto user = random_user(random);
        Raw s{};
        cd::encode_mode1(user, lba, s);
        ASSERT_TRUE(cd::has_sync(s));
        EXPECT_EQ(msf_lba(s), lba);
        EXPECT_EQ(at(s, 15), 1);
        EXPECT_EQ(stored_le32(s, 2064), slow_edc(s, 0, 2064)) << lba;
        for (std::size_t i = 2068; i < 2076; ++i) EXPECT_EQ(at(s, i), 0);
        EXPECT_TRUE(parity_holds(s, false)) << lba;
        EXPECT_TRUE(std::equal(user.begin(), user.end(), s.begin() + 16));
        EXPECT_TRUE(cd::check_sector(s, lba).good());
        EXPECT_EQ(cd::header_address(s), lba);
    }
}

TEST(CdSector, Mode2Form1AgreesWithTheBitwiseCodeAtManyAddresses) {
    std::mt19937 random(2);
    for (const auto lba : many_addresses()) {
        const auto user = random_user(random);
        cd::Subheader sub = cd::kDataSubheader;
        if (lba % 3 == 0) sub[2] = sub[6] = std::byte{0x89};  // end of file and record
        Raw s{};
        cd::encode_mode2_form1(user, lba, sub, s);
        EXPECT_EQ(msf_lba(s), lba);
        EXPECT_EQ(at(s, 15), 2);
        EXPECT_TRUE(std::equal(sub.begin(), sub.end(), s.begin() + 16));
        EXPECT_EQ(stored_le32(s, 2072), slow_edc(s, 16, 2072)) << lba;
        EXPECT_TRUE(parity_holds(s, true)) << lba;
        EXPECT_FALSE(parity_holds(s, false)) << "the header must not enter the Mode 2 parity";
        EXPECT_EQ(cd::mode_of(s), cd::Mode::Mode2Form1);
        EXPECT_TRUE(cd::check_sector(s, lba).good());
    }
}

TEST(CdSector, EveryFlippedByteOrWrongAddressIsCaught) {
    std::mt19937 random(3);
    const auto user = random_user(random);
    for (const bool mode2 : {false, true}) {
        Raw s{};
        if (mode2)
            cd::encode_mode2_form1(user, 1234, cd::kDataSubheader, s);
        else
            cd::encode_mode1(user, 1234, s);
        EXPECT_FALSE(cd::check_sector(s, 1235).address);
        for (std::size_t i = 0; i < s.size(); i += 7) {
            Raw bad = s;
            bad[i] ^= std::byte{0x10};
            EXPECT_FALSE(cd::check_sector(bad, 1234).good()) << "byte " << i << (mode2 ? " mode 2" : " mode 1");
        }
    }
}

std::vector<Raw> reference_sectors(const char* name) {
    std::ifstream in(std::string(ISORELINK_SOURCE_DIR) + "/tests/formats/data/" + name, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<Raw> sectors(bytes.size() / cd::kRawSectorSize);
    for (std::size_t i = 0; i < sectors.size(); ++i)
        std::memcpy(sectors[i].data(), bytes.data() + i * cd::kRawSectorSize, cd::kRawSectorSize);
    return sectors;
}

TEST(CdSector, ReencodingSectorsOtherToolsWroteGivesTheSameBytes) {
    const auto mode1 = reference_sectors("mode1-lba16-18.bin");
    const auto mode2 = reference_sectors("mode2form1-lba1000-1002.bin");
    ASSERT_EQ(mode1.size(), 3u);
    ASSERT_EQ(mode2.size(), 3u);
    for (std::uint32_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(cd::check_sector(mode1[i], 16 + i).good());
        EXPECT_TRUE(parity_holds(mode1[i], false));
        Raw again{};
        cd::encode_mode1(std::span(mode1[i]).subspan(16, 2048), 16 + i, again);
        EXPECT_EQ(again, mode1[i]) << "mode 1 sector " << i;

        EXPECT_TRUE(cd::check_sector(mode2[i], 1000 + i).good());
        EXPECT_TRUE(parity_holds(mode2[i], true));
        cd::Subheader sub;
        std::copy_n(mode2[i].begin() + 16, 8, sub.begin());
        cd::encode_mode2_form1(std::span(mode2[i]).subspan(24, 2048), 1000 + i, sub, again);
        EXPECT_EQ(again, mode2[i]) << "mode 2 sector " << i;
    }
}

} // namespace
} // namespace isorelink
