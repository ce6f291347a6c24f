#pragma once
#include <cstdint>
#include <string_view>

#include "format/image_kind.h"
#include "common/result.h"
#include "rebuild/rebuild_names.h"

namespace isorelink {

struct RebuildSummary {
    RebuildNames names;
    ImageKind kind = ImageKind::PspUmd;
    std::uint32_t lines_applied = 0;
    std::uint64_t new_image_size = 0;   // bytes, after the end step
    std::uint32_t record_count = 0;     // n: the record file's length / 12
    std::uint32_t partition_start = 0;  // P (PS2 DVD), 0 otherwise
    std::uint32_t volume_size = 0;      // sectors the new image now records
};

// The rebuild job: patches F "NEW-" N in place from the relink list. Every
// line that would be applied is read and checked before the first write; a
// refused list (405), an image without its UDF partition (406) or one too
// short to be a disc image (409) leaves the new image byte for byte as it was.
//
// The CLI may ask for more than the host's job: a new image whose kind bytes
// name no kind but whose anchor at 256 leads to a sound UDF partition (an
// image made by a general authoring tool) is then rebuilt as the PS2 DVD the
// extraction listed it as, not served as a PSP UMD.
struct RebuildOptions {
    bool accept_udf_bridge = false;
};
Expected<RebuildSummary> run_rebuild(std::string_view folder, std::string_view image_name,
                                     RebuildOptions options = {});

} // namespace isorelink
