#pragma once
// replace keeps every tree of the new image in step with its primary one.
// The rebuild patches what the relink list names: the primary directory
// records and, on a PS2 DVD, the UDF File Entries. General authoring tools
// also write Joliet trees, and UDF trees on images of CD kind; readers that
// prefer those would still see the old extent. After the rebuild, each
// replaced file's records in every supplementary tree, and its UDF File Entry
// where the rebuild did not patch one, get the new extent and size, through
// the same record and entry code the rebuild uses.
#include <cstdint>
#include <string>
#include <vector>

#include "common/result.h"
#include "format/image_kind.h"

namespace isorelink::host {

struct TreeMove {
    std::string path;  // as the listing names it
    std::uint32_t old_sector = 0;
    std::uint32_t old_size = 0;
    std::uint32_t new_sector = 0;
    std::uint32_t new_size = 0;
};

struct TreeSync {
    std::size_t supplementary_records = 0;  // records patched in Joliet and other supplementary trees
    std::size_t udf_entries = 0;            // File Entries patched
};

// A file is found in a tree by its old extent and size; where several
// records share them (empty files often do), by its path as well. Fails with
// 408 when the new image cannot be opened or written.
Expected<TreeSync> sync_other_trees(const std::string& new_image, ImageKind kind, const std::vector<TreeMove>& moves);

} // namespace isorelink::host
