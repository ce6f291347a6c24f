#pragma once
// One relink line applied to the planned image: the file's ISO 9660
// directory record (extent and data length, both byte orders, at C) and, on a
// PS2 DVD, its UDF File Entry: the entry that opens D's sector, its
// allocation descriptor at D (wherever its extended attributes end), its
// Information Length and Logical Blocks Recorded at their own places, and
// its tag resealed.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "format/image_kind.h"
#include "rebuild/entry_reseal.h"
#include "rebuild/patch_plan.h"
#include "rebuild/relink_list.h"

namespace isorelink {

enum class LineVerdict {
    Applied,
    RecordOutsideImage,      // C + 16 beyond the image's end
    DescriptorOutsideImage,  // D + 8 beyond the end, or D below 176
    BelowPartition,          // A below the partition start P, for a file that is not empty
    NoFileEntry,             // D is not an allocation descriptor of the entry opening its sector
};

// Checks the line against the image and, when it fits, plans its writes:
// the record's bytes in the plan; the File Entry's edit among the entries to
// reseal, or, when other patches touch its sector too, in the plan. A
// refused line may leave part of its writes planned: the caller drops the
// whole plan, as it refuses the whole list.
// What a refused line's 405 names (msg::relink_refusal); empty for Applied.
std::string_view refusal_reason(LineVerdict verdict);

LineVerdict apply_relink_line(PatchPlan& plan, EntryReseals& entries, const RelinkLine& line, ImageKind kind,
                              std::uint32_t partition_start);

} // namespace isorelink
