#pragma once
// The six names the extraction job derives from its folder prefix F and
// image name N, by plain concatenation (F must end with its separator).
#include <string>
#include <string_view>

#include "common/result.h"

namespace isorelink {

struct ExtractionNames {
    std::string image;            // F N
    std::string record_file;      // F N ".xqe"
    std::string header_copy;      // F "temp1.tmp"
    std::string sector_listing;   // F N "-LSN.TXT"
    std::string path_table_copy;  // F "tmp.tmp"
    std::string file_listing;     // F N "-Filelist.txt"
};

// Refuses (code 1107) any name that would not fit a 2048-byte buffer.
Expected<ExtractionNames> extraction_names(std::string_view folder, std::string_view image);

} // namespace isorelink
