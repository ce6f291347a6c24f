#pragma once
// The sector listing's lines ("-LSN.TXT"), read back and written again: the
// relink list uses the same format.
//   PS2 DVD:          SECTOR|SIZE|RECORD+2|DESCRIPTOR|\PATH  CR LF
//   PS2 CD, PSP UMD:  SECTOR|SIZE|RECORD+2|\PATH             CR LF
// Numbers are eight upper-case hexadecimal digits.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "format/image_kind.h"
#include "common/result.h"

namespace isorelink::host {

struct ListingLine {
    std::uint32_t sector = 0;
    std::uint32_t size = 0;
    std::uint32_t extent_field = 0;  // byte offset of the directory record's extent field
    std::uint32_t descriptor = 0;    // PS2 DVD: byte offset of the File Entry's short_ad
    std::string path;
};

// Reads every line; a line that does not hold the kind's fields is refused
// with its number.
Expected<std::vector<ListingLine>> parse_sector_listing(std::string_view text, ImageKind kind);

// One line, with its CR LF.
std::string format_listing_line(const ListingLine& line, ImageKind kind);

std::string format_sector_listing(const std::vector<ListingLine>& lines, ImageKind kind);

} // namespace isorelink::host
