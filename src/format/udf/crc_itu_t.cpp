#include "format/udf/crc_itu_t.h"

#include <algorithm>
#include <array>
#include <cstddef>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ISORELINK_CRC_CLMUL 1
#endif

namespace isorelink::udf {

namespace {

constexpr unsigned kPolynomial = 0x1021;

// kCrcTables[k][b]: the CRC of byte b followed by k zero bytes, so that
// sixteen bytes are folded in per step, only two of the lookups waiting on
// the previous step.
constexpr std::size_t kSlices = 16;
using CrcTables = std::array<std::array<std::uint16_t, 256>, kSlices>;

constexpr CrcTables make_crc_tables() {
    CrcTables tables{};
    for (unsigned i = 0; i < 256; ++i) {
        auto crc = static_cast<std::uint16_t>(i << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ kPolynomial : crc << 1);
        tables[0][i] = crc;
    }
    for (std::size_t k = 1; k < kSlices; ++k) {
        for (unsigned i = 0; i < 256; ++i) {
            const std::uint16_t previous = tables[k - 1][i];
            tables[k][i] = static_cast<std::uint16_t>((previous << 8) ^ tables[0][previous >> 8]);
        }
    }
    return tables;
}
constexpr CrcTables kCrcTables = make_crc_tables();

unsigned byte_at(ByteView data, std::size_t i) { return std::to_integer<unsigned>(data[i]); }

#ifdef ISORELINK_CRC_CLMUL

// x^k mod P, the polynomial 0x11021 (16 bits after its leading term).
constexpr std::uint64_t x_power_mod(unsigned k) {
    std::uint32_t r = 1;
    for (unsigned i = 0; i < k; ++i) {
        r <<= 1;
        if (r & 0x10000) r ^= 0x10000 | kPolynomial;
    }
    return r;
}

// The message is taken as one polynomial, its first byte the highest. A
// 128-bit block X = H x^64 + L moved on by n bits is congruent modulo P to
// H (x^(n+64) mod P) + L (x^n mod P), a product of at most 80 bits: so four
// running blocks are moved on by 512 bits per step and added to the next four
// of the message, each staying congruent to the message so far. The CRC of
// the result, its 16 bytes highest first, is the CRC of the folded bytes:
// the CRC is the message times x^16 modulo P.
__attribute__((target("pclmul,ssse3"))) inline __m128i fold(__m128i x, __m128i constants) {
    return _mm_xor_si128(_mm_clmulepi64_si128(x, constants, 0x11), _mm_clmulepi64_si128(x, constants, 0x00));
}

// The two constants that move a block on by `bits`.
struct FoldBy {
    std::uint64_t high;
    std::uint64_t low;
};
constexpr FoldBy fold_by(unsigned bits) { return {x_power_mod(bits + 64), x_power_mod(bits)}; }
constexpr FoldBy kBy128 = fold_by(128), kBy256 = fold_by(256), kBy384 = fold_by(384), kBy512 = fold_by(512);

__attribute__((target("pclmul,ssse3"))) inline __m128i by(FoldBy constants) {
    return _mm_set_epi64x(static_cast<long long>(constants.high), static_cast<long long>(constants.low));
}

// The 16 bytes at `at` as a polynomial, the first byte highest.
__attribute__((target("pclmul,ssse3"))) inline __m128i load_block(const std::byte* at) {
    const __m128i reverse = _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)), reverse);
}

constexpr std::size_t kBlock = 16;

// Block k of the message when its first `head` bytes stand alone in `first`.
__attribute__((target("pclmul,ssse3"))) inline __m128i block_at(ByteView data, const std::byte* first, std::size_t head,
                                                                std::size_t k) {
    if (head == 0) return load_block(data.data() + k * kBlock);
    return load_block(k == 0 ? first : data.data() + head + (k - 1) * kBlock);
}

__attribute__((target("pclmul,ssse3"))) std::uint16_t crc_by_folding(ByteView data) {
    // Leading zeros leave the polynomial as it is: a first block short of 16
    // bytes is taken with zeros in front, so that every block is whole.
    const std::size_t head = data.size() % kBlock;
    const std::size_t blocks = data.size() / kBlock + (head != 0 ? 1 : 0);
    alignas(16) std::array<std::byte, kBlock> first{};
    std::copy_n(data.begin(), head, first.end() - static_cast<std::ptrdiff_t>(head));
    const std::byte* const padded = first.data();

    std::size_t k = 0;
    __m128i x;
    if (blocks >= 4) {
        __m128i x0 = block_at(data, padded, head, 0);
        __m128i x1 = block_at(data, padded, head, 1);
        __m128i x2 = block_at(data, padded, head, 2);
        __m128i x3 = block_at(data, padded, head, 3);
        const __m128i by512 = by(kBy512);
        for (k = 4; k + 4 <= blocks; k += 4) {
            x0 = _mm_xor_si128(fold(x0, by512), block_at(data, padded, head, k));
            x1 = _mm_xor_si128(fold(x1, by512), block_at(data, padded, head, k + 1));
            x2 = _mm_xor_si128(fold(x2, by512), block_at(data, padded, head, k + 2));
            x3 = _mm_xor_si128(fold(x3, by512), block_at(data, padded, head, k + 3));
        }
        x = _mm_xor_si128(_mm_xor_si128(fold(x0, by(kBy384)), fold(x1, by(kBy256))),
                          _mm_xor_si128(fold(x2, by(kBy128)), x3));
    } else {
        x = block_at(data, padded, head, 0);
        k = 1;
    }
    const __m128i by128 = by(kBy128);
    for (; k < blocks; ++k) x = _mm_xor_si128(fold(x, by128), block_at(data, padded, head, k));

    alignas(16) std::array<std::byte, kBlock> folded;
    const __m128i reverse = _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    _mm_store_si128(reinterpret_cast<__m128i*>(folded.data()), _mm_shuffle_epi8(x, reverse));
    return crc_itu_t_by_tables(folded);
}

bool can_fold() {
    static const bool supported = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("ssse3");
    return supported;
}

#endif

} // namespace

std::uint16_t crc_itu_t_by_tables(ByteView data, std::uint16_t start) {
    const auto& t = kCrcTables;
    unsigned crc = start;
    std::size_t i = 0;
    for (; i + kSlices <= data.size(); i += kSlices) {
        unsigned folded =
            t[kSlices - 1][byte_at(data, i) ^ (crc >> 8)] ^ t[kSlices - 2][byte_at(data, i + 1) ^ (crc & 0xFF)];
        for (std::size_t k = 2; k < kSlices; ++k) folded ^= t[kSlices - 1 - k][byte_at(data, i + k)];
        crc = folded;
    }
    for (; i < data.size(); ++i) crc = ((crc << 8) ^ t[0][((crc >> 8) ^ byte_at(data, i)) & 0xFF]) & 0xFFFF;
    return static_cast<std::uint16_t>(crc);
}

std::uint16_t crc_itu_t(ByteView data) {
#ifdef ISORELINK_CRC_CLMUL
    if (data.size() >= 32 && can_fold()) return crc_by_folding(data);
#endif
    return crc_itu_t_by_tables(data);
}

} // namespace isorelink::udf
