#pragma once
// One input through one job, with every promise a job makes about hostile
// input checked afterwards. The fuzz targets and the corpus replay test
// (tests/corrupt) share these, so a stored input replays the same path.
//
// Each case returns "" when the job kept its promises, or what it broke.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "format/image_kind.h"
#include "kit/image_builder.h"

namespace isorelink::fuzz {

using Bytes = std::vector<std::uint8_t>;

void write_file(const std::string& path, std::span<const std::uint8_t> bytes);
Bytes read_file(const std::string& path);  // empty when it cannot be read

inline std::span<const std::uint8_t> as_u8(const std::vector<std::byte>& bytes) {
    return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

inline std::span<const std::uint8_t> as_u8(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// The kinds a selector byte picks.
inline ImageKind kind_from_selector(std::uint8_t selector) {
    static constexpr ImageKind kinds[] = {ImageKind::Ps2Dvd, ImageKind::Ps2Cd, ImageKind::PspUmd};
    return kinds[selector % 3];
}

// A small kit image: a few files, two folder levels, a hidden file and an
// empty one; on the ISO-only kinds also a file in three extents (the PS2
// DVD extraction refuses those: one File Entry would serve three records).
kit::ImageRecipe sample_recipe(ImageKind kind);

struct Sample {
    std::vector<std::byte> image;
    kit::BuiltImage built;
};

// The sample image of a kind, built once per process.
const Sample& sample(ImageKind kind);
inline const std::vector<std::byte>& sample_image(ImageKind kind) { return sample(kind).image; }

// The sector listing the extraction job writes for sample_image(kind); the
// job runs in `folder` (a prefix with its trailing separator).
const std::string& sample_listing(ImageKind kind, const std::string& folder);

inline bool is_coded(const std::string& message) { return message.rfind("Code ", 0) == 0; }

// The extraction job on an arbitrary image in `folder`.
std::string extract_case(const std::string& folder, std::span<const std::uint8_t> image);

// The rebuild job on a kit image with an arbitrary relink list and record
// file length: byte 0 picks the kind, bytes 1-2 the record file's length
// (little-endian), the rest is the relink list.
std::string relink_list_case(const std::string& folder, std::span<const std::uint8_t> data);

// The rebuild job on an arbitrary new image with the sound relink list of
// the kit image of the kind byte 0 picks; the rest is the new image.
std::string rebuild_image_case(const std::string& folder, std::span<const std::uint8_t> data);

} // namespace isorelink::fuzz
