#pragma once
// The header copy: the image's first H sectors, from sector 0 to the end of
// the highest directory (to the end of its first sector on a PS2 DVD, whose
// UDF structures follow the ISO directories).
#include <cstdint>
#include <string>

#include "platform/file.h"
#include "format/image_kind.h"
#include "common/result.h"
#include "platform/image_window.h"

namespace isorelink {

// H from the highest directory sector D and the data length its first
// record gives: D + 1 for Ps2Dvd, D + whole sectors of the length otherwise.
std::uint64_t header_sector_count(ImageKind kind, std::uint32_t highest_directory, std::uint32_t directory_length);

// Reads the data length of the directory at sector D (its first record,
// which describes the directory itself). A record outside the image is a
// structural fault.
Expected<std::uint32_t> highest_directory_length(ImageWindow& image, std::uint32_t highest_directory,
                                                 const std::string& image_path);

// Writes exactly sectors × 2048 bytes: the image's bytes, and zeros for the
// part that lies past the image's end.
Status write_header_copy(ImageWindow& image, std::uint64_t sectors, File& header_copy,
                         const std::string& header_copy_path);

} // namespace isorelink
