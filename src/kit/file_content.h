#pragma once
// The bytes of a file the kit writes: explicit, a deterministic pattern
// derived from the path, or zeros. Tests use this to know what to read back.
#include <cstdint>
#include <vector>

#include "format/endian.h"
#include "kit/image_recipe.h"

namespace isorelink::kit {

// Fills `out` with the file's bytes from `offset` on. The caller keeps
// offset + out.size() within the file's size. False when a host file cannot
// be read or has become shorter.
bool fill_file_content(const FileRecipe& file, std::uint64_t offset, MutableByteView out);

// The whole content (for small files in tests; empty when unreadable).
std::vector<std::byte> file_content(const FileRecipe& file);

} // namespace isorelink::kit
