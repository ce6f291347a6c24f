#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "common/image_kind.h"
#include "common/result.h"
#include "extract/extraction_names.h"

namespace isorelink {

struct ExtractionSummary {
    ExtractionNames names;
    ImageKind kind = ImageKind::Ps2Dvd;
    std::uint32_t file_count = 0;
    std::uint32_t data_start_sector = 0;
};

// The extraction job: reads the image F N and writes its sector listing,
// file listing and record file beside it. Never writes the image.
Expected<ExtractionSummary> run_extraction(std::string_view folder, std::string_view image_name);

} // namespace isorelink
