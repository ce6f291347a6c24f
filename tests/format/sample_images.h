#pragma once
// Real bytes for the round-trip tests: images genisoimage writes (an
// independent author of ISO 9660 and UDF) and images the kit writes.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "format/endian.h"
#include "format/image_kind.h"
#include "format/sector.h"

namespace isorelink::test {

// A string's bytes, as identifiers and names are handed to the codecs.
inline ByteView test_bytes(std::string_view text) { return std::as_bytes(std::span(text.data(), text.size())); }

struct SampleImage {
    std::vector<std::byte> bytes;

    ByteView sector(std::uint64_t lsn, std::size_t count = 1) const {
        return ByteView(bytes).subspan(static_cast<std::size_t>(sector_offset(lsn)), count * kSectorSize);
    }
};

// genisoimage's image of a small tree (names of odd and even length, a
// subfolder, an empty file), with a UDF bridge when udf is set; nothing when
// genisoimage is not installed.
std::optional<SampleImage> genisoimage_sample(bool udf);

// The kit's image of a small tree of the given kind.
SampleImage kit_sample(ImageKind kind);

} // namespace isorelink::test
