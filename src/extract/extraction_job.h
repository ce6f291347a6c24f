#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "format/image_kind.h"
#include "common/result.h"
#include "extract/extraction_names.h"

namespace isorelink {

struct ExtractionSummary {
    ExtractionNames names;
    ImageKind kind = ImageKind::Ps2Dvd;
    std::uint32_t file_count = 0;
    std::uint32_t data_start_sector = 0;
    std::uint64_t header_sectors = 0;     // H: sectors in the header copy
    std::uint64_t descriptor_anchor = 0;  // PS2 DVD: first file's short_ad offset; 0 otherwise
    std::uint32_t directory_count = 0;
    std::vector<std::string> warnings;  // directories listed only in part
    bool udf_directory_walked = false;  // PS2 DVD without the console File Entry layout
};

// What a caller may ask beyond the host's job.
struct ExtractionOptions {
    // Also take an image that carries neither header signature when its kind
    // bytes leave it a PS2 DVD and an anchor at 256 leads to a sound UDF
    // partition: images made by general authoring tools. The module never
    // asks for it.
    bool accept_udf_bridge = false;
};

// The extraction job: reads the image F N and writes its sector listing,
// file listing and record file beside it. Never writes the image.
//
// What it leaves on disk: on success the three products, and neither
// "temp1.tmp" nor "tmp.tmp". On failure every file created before the
// failing step stays, closed; the listings stay empty unless the record
// file could not be reopened (1105) or a write failed.
Expected<ExtractionSummary> run_extraction(std::string_view folder, std::string_view image_name,
                                           ExtractionOptions options = {});

} // namespace isorelink
