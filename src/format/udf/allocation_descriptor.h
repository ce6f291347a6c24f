#pragma once
// Short and long allocation descriptors: where an extent lies and how long it is.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "format/endian.h"
#include "format/udf/layout.h"

namespace isorelink::udf {

struct ShortAd {
    std::uint32_t length = 0;    // bytes; the top two bits hold the extent's type
    std::uint32_t position = 0;  // block within the partition

    std::uint32_t recorded_length() const { return length & short_ad::kExtentLengthMask; }
};

inline ShortAd decode_short_ad(ByteView bytes, std::size_t at) {
    return {le32(bytes, at + short_ad::kExtentLength), le32(bytes, at + short_ad::kExtentPosition)};
}

inline void encode_short_ad(MutableByteView bytes, std::size_t at, const ShortAd& ad) {
    put_le32(bytes, at + short_ad::kExtentLength, ad.length);
    put_le32(bytes, at + short_ad::kExtentPosition, ad.position);
}

struct LongAd {
    std::uint32_t length = 0;
    std::uint32_t block = 0;
    std::uint16_t partition = 0;  // partition reference number
    std::array<std::byte, long_ad::kSize - long_ad::kImplementationUse> implementation_use{};
};

inline LongAd decode_long_ad(ByteView bytes, std::size_t at) {
    LongAd ad{le32(bytes, at + long_ad::kLength), le32(bytes, at + long_ad::kBlock),
              le16(bytes, at + long_ad::kPartition)};
    detail::check_field(bytes.size(), at, long_ad::kSize);
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at + long_ad::kImplementationUse),
                ad.implementation_use.size(), ad.implementation_use.begin());
    return ad;
}

inline void encode_long_ad(MutableByteView bytes, std::size_t at, const LongAd& ad) {
    put_le32(bytes, at + long_ad::kLength, ad.length);
    put_le32(bytes, at + long_ad::kBlock, ad.block);
    put_le16(bytes, at + long_ad::kPartition, ad.partition);
    detail::check_field(bytes.size(), at, long_ad::kSize);
    std::copy(ad.implementation_use.begin(), ad.implementation_use.end(),
              bytes.begin() + static_cast<std::ptrdiff_t>(at + long_ad::kImplementationUse));
}

} // namespace isorelink::udf
