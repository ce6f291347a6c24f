#pragma once
// Fixed-width byte fields of UDF descriptors (regids, charspecs, dstrings,
// timestamps): read as spans, written padded with zeros.
#include <algorithm>
#include <cstddef>

#include "format/endian.h"

namespace isorelink::udf {

inline ByteView field_bytes(ByteView bytes, std::size_t at, std::size_t width) {
    detail::check_field(bytes.size(), at, width);
    return bytes.subspan(at, width);
}

// Writes value's first `width` bytes and zeros after them.
inline void put_field(MutableByteView bytes, std::size_t at, std::size_t width, ByteView value) {
    detail::check_field(bytes.size(), at, width);
    const std::size_t n = std::min(width, value.size());
    std::copy_n(value.begin(), n, bytes.begin() + static_cast<std::ptrdiff_t>(at));
    std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(at + n), width - n, std::byte{0});
}

} // namespace isorelink::udf
