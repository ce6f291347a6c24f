#pragma once
// Sample images for the replace and verify tests, made by our image kit or by genisoimage.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/image_kind.h"
#include "imagekit/image_recipe.h"
#include "support/test_support.h"

namespace isorelink::test {

using Bytes = std::vector<std::byte>;

Bytes sample_bytes(std::size_t size, std::uint32_t seed);  // deterministic, differs per seed

enum class Maker { Kit, Genisoimage };

struct SampleImage {
    std::string path;
    std::map<std::string, Bytes> contents;  // "\\DATA\\GROW.BIN" -> bytes
    kit::BuiltImage built;                  // kit images only
};

// \SYSTEM.CNF and \DATA\GROW.BIN (3000 bytes, the next file right behind it), SHRINK.BIN,
// SAME.BIN, KEEP.BIN, \MOVIE\LAST.PSS. Nothing when the maker is missing; `why` says so.
std::optional<SampleImage> make_sample(Maker maker, ImageKind kind, const std::string& folder, std::string& why);

} // namespace isorelink::test
