#pragma once
// Little-, big- and both-byte-order numbers at named offsets of a byte span.
//
// Every reader checks that the field lies inside the span and throws
// std::out_of_range otherwise: callers check a structure's extent before they
// decode it, so a throw here is a bug in the caller, never a data path.
//
// Both-byte-order fields (ISO 9660 "733"/"723"): the jobs read the
// little-endian half only. That is the half every PC reader uses, and it is
// the half our rebuild writes first, so a disagreeing big-endian half never
// changes what we list.
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>

namespace isorelink {

using ByteView = std::span<const std::byte>;
using MutableByteView = std::span<std::byte>;

namespace detail {
inline void check_field(std::size_t size, std::size_t offset, std::size_t width) {
    if (offset > size || width > size - offset) throw std::out_of_range("field outside its structure");
}
inline std::uint32_t byte_at(ByteView b, std::size_t i) { return std::to_integer<std::uint32_t>(b[i]); }
} // namespace detail

inline std::uint8_t u8(ByteView b, std::size_t off) {
    detail::check_field(b.size(), off, 1);
    return static_cast<std::uint8_t>(detail::byte_at(b, off));
}

inline std::uint16_t le16(ByteView b, std::size_t off) {
    detail::check_field(b.size(), off, 2);
    return static_cast<std::uint16_t>(detail::byte_at(b, off) | detail::byte_at(b, off + 1) << 8);
}

inline std::uint16_t be16(ByteView b, std::size_t off) {
    detail::check_field(b.size(), off, 2);
    return static_cast<std::uint16_t>(detail::byte_at(b, off) << 8 | detail::byte_at(b, off + 1));
}

inline std::uint32_t le32(ByteView b, std::size_t off) {
    detail::check_field(b.size(), off, 4);
    return detail::byte_at(b, off) | detail::byte_at(b, off + 1) << 8 | detail::byte_at(b, off + 2) << 16 |
           detail::byte_at(b, off + 3) << 24;
}

inline std::uint32_t be32(ByteView b, std::size_t off) {
    detail::check_field(b.size(), off, 4);
    return detail::byte_at(b, off) << 24 | detail::byte_at(b, off + 1) << 16 | detail::byte_at(b, off + 2) << 8 |
           detail::byte_at(b, off + 3);
}

inline std::uint64_t le64(ByteView b, std::size_t off) {
    return static_cast<std::uint64_t>(le32(b, off)) | static_cast<std::uint64_t>(le32(b, off + 4)) << 32;
}

// Both-byte-order fields: the little-endian half (see the policy above).
inline std::uint32_t both32(ByteView b, std::size_t off) {
    detail::check_field(b.size(), off, 8);
    return le32(b, off);
}
inline std::uint16_t both16(ByteView b, std::size_t off) {
    detail::check_field(b.size(), off, 4);
    return le16(b, off);
}
inline bool both32_agree(ByteView b, std::size_t off) { return le32(b, off) == be32(b, off + 4); }

inline void put_u8(MutableByteView b, std::size_t off, std::uint8_t v) {
    detail::check_field(b.size(), off, 1);
    b[off] = std::byte{v};
}

inline void put_le16(MutableByteView b, std::size_t off, std::uint16_t v) {
    detail::check_field(b.size(), off, 2);
    b[off] = std::byte(v & 0xFF);
    b[off + 1] = std::byte(v >> 8);
}

inline void put_be16(MutableByteView b, std::size_t off, std::uint16_t v) {
    detail::check_field(b.size(), off, 2);
    b[off] = std::byte(v >> 8);
    b[off + 1] = std::byte(v & 0xFF);
}

inline void put_le32(MutableByteView b, std::size_t off, std::uint32_t v) {
    detail::check_field(b.size(), off, 4);
    for (int i = 0; i < 4; ++i) b[off + i] = std::byte((v >> (8 * i)) & 0xFF);
}

inline void put_be32(MutableByteView b, std::size_t off, std::uint32_t v) {
    detail::check_field(b.size(), off, 4);
    for (int i = 0; i < 4; ++i) b[off + i] = std::byte((v >> (8 * (3 - i))) & 0xFF);
}

inline void put_le64(MutableByteView b, std::size_t off, std::uint64_t v) {
    put_le32(b, off, static_cast<std::uint32_t>(v));
    put_le32(b, off + 4, static_cast<std::uint32_t>(v >> 32));
}

// Both-byte-order: little-endian half, then big-endian half.
inline void put_both32(MutableByteView b, std::size_t off, std::uint32_t v) {
    put_le32(b, off, v);
    put_be32(b, off + 4, v);
}

inline void put_both16(MutableByteView b, std::size_t off, std::uint16_t v) {
    put_le16(b, off, v);
    put_be16(b, off + 2, v);
}

// Byte order swap of a 32-bit value: the value whose little-endian storage
// is the big-endian form of v.
constexpr std::uint32_t byte_swap32(std::uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0x0000FF00u) | ((v << 8) & 0x00FF0000u) | (v << 24);
}

} // namespace isorelink
