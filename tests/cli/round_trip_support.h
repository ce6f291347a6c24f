#pragma once
// Sample images for the replace and verify tests, made by our image kit.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "format/image_kind.h"
#include "kit/image_builder.h"
#include "support/test_support.h"

namespace isorelink::test {

using Bytes = std::vector<std::byte>;

Bytes sample_bytes(std::size_t size, std::uint32_t seed);  // deterministic, differs per seed

struct SampleImage {
    std::string path;
    std::map<std::string, Bytes> contents;  // "\\DATA\\GROW.BIN" -> bytes
    kit::BuiltImage built;
};

// \SYSTEM.CNF and \DATA\GROW.BIN (3000 bytes, the next file right behind it), SHRINK.BIN,
// SAME.BIN, KEEP.BIN, \MOVIE\LAST.PSS as folder/GAME.ISO; nothing when the kit refuses.
std::optional<SampleImage> make_sample(ImageKind kind, const std::string& folder);

} // namespace isorelink::test
