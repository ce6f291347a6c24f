#pragma once
#include <cstdint>
#include <string_view>

#include "common/image_kind.h"
#include "common/result.h"
#include "rebuild/rebuild_names.h"

namespace isorelink {

struct RebuildSummary {
    RebuildNames names;
    ImageKind kind = ImageKind::PspUmd;
    std::uint32_t lines_applied = 0;
    std::uint64_t new_image_size = 0;
};

// The rebuild job: patches F "NEW-" N in place from the relink list.
Expected<RebuildSummary> run_rebuild(std::string_view folder, std::string_view image_name);

} // namespace isorelink
