#pragma once
// Sample images for the replace and verify tests, made by our image kit or by
// genisoimage.
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/image_kind.h"
#include "imagekit/image_recipe.h"
#include "support/test_support.h"

namespace isorelink::test {

using Bytes = std::vector<std::byte>;

// Deterministic bytes that differ per seed.
Bytes sample_bytes(std::size_t size, std::uint32_t seed);

enum class Maker { Kit, Genisoimage };

struct SampleImage {
    std::string path;
    ImageKind kind = ImageKind::Ps2Cd;
    std::map<std::string, Bytes> contents;  // "\\DATA\\GROW.BIN" -> bytes
    kit::BuiltImage built;                  // where the kit wrote what (kit images only)
};

// Files: \SYSTEM.CNF, \DATA\GROW.BIN (3000 bytes, followed at once by the next
// file in kit images), \DATA\SHRINK.BIN (10000), \DATA\SAME.BIN (4000),
// \DATA\KEEP.BIN (5000), \MOVIE\LAST.PSS (20000). Nothing when the maker is
// missing (the message says why).
std::optional<SampleImage> make_sample(Maker maker, ImageKind kind, const std::string& folder, std::string& why);

} // namespace isorelink::test
