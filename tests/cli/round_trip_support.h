#pragma once
// Sample images for the replace and verify tests, made by our image kit or by
// genisoimage, and the independent readers that check what replace wrote.
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/image_kind.h"
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
};

// Files: \SYSTEM.CNF, \DATA\GROW.BIN (3000 bytes, followed at once by the next
// file in kit images), \DATA\SHRINK.BIN (10000), \DATA\SAME.BIN (4000),
// \DATA\KEEP.BIN (5000), \MOVIE\LAST.PSS (20000). Nothing when the maker is
// missing (the message says why).
std::optional<SampleImage> make_sample(Maker maker, ImageKind kind, const std::string& folder, std::string& why);

struct Placement {
    std::uint32_t sector = 0;
    std::uint64_t size = 0;
};

// "\\DATA\\GROW.BIN" -> sector and size, as xorriso's report_lba sees them.
std::map<std::string, Placement> xorriso_placements(const std::string& image);
// The same from `isoinfo -l`.
std::map<std::string, Placement> isoinfo_placements(const std::string& image);
// Extracts with 7-Zip (type "iso" or "udf") into a folder; returns 7-Zip's exit code.
int seven_zip_extract(const std::string& image, const std::string& type, const std::string& folder);
// Reads each file through pycdlib's udf_path into folder/<name>.
bool pycdlib_udf_extract(const std::string& image, const std::vector<std::string>& paths, const std::string& folder);

// "\\DATA\\GROW.BIN" -> "DATA/GROW.BIN"
std::string relative_path(const std::string& iso_path);

} // namespace isorelink::test
