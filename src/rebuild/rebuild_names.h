#pragma once
// The three names the rebuild job derives from its folder prefix F and image
// name N.
#include <string>
#include <string_view>

#include "common/result.h"

namespace isorelink {

struct RebuildNames {
    std::string new_image;    // F "NEW-" N
    std::string relink_list;  // F N "-relink-LSN.TXT"
    std::string record_file;  // F N ".xqe"
};

// Refuses (code 407) any name that would not fit a 2048-byte buffer.
Expected<RebuildNames> rebuild_names(std::string_view folder, std::string_view image);

} // namespace isorelink
