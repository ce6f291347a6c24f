#pragma once
// What the fuzz targets share: a private scratch folder per process, and the
// kit images used as seeds and as the fixed image of the relink target.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/image_kind.h"

namespace isorelink::fuzz {

// A folder of this process's own, with its trailing separator.
const std::string& scratch_prefix();

void write_file(const std::string& path, std::span<const std::uint8_t> bytes);

// A small kit image of the given kind (a few files, one folder level, a
// multi-extent file and a hidden one), built once per kind and kept.
const std::vector<std::byte>& sample_image(ImageKind kind);

// The sector listing the extraction job writes for sample_image(kind).
const std::string& sample_listing(ImageKind kind);

} // namespace isorelink::fuzz
