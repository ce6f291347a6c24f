#pragma once
// The image kind, decided from two bytes of the primary volume descriptor,
// and the extraction's header test.
#include <cstdint>
#include <optional>

#include "platform/file.h"
#include "format/image_kind.h"

namespace isorelink {

// The rules, in order, over the system byte (32777, the second character of
// the system identifier) and the application byte (33792):
//   'S' or 'M' with 'C' -> PspUmd;  'L' with 0x00 -> Ps2Dvd;  'L' with 'C' -> Ps2Cd;
//   anything else, or a byte the image is too short to hold -> default_kind.
// The extraction starts from Ps2Dvd, the rebuild from PspUmd.
ImageKind kind_from_bytes(std::optional<std::uint8_t> system_byte, std::optional<std::uint8_t> application_byte,
                          ImageKind default_kind);

ImageKind detect_image_kind(File& image, ImageKind default_kind);

// Accepted when the image holds "CD-" at 33792 or "DVD" at 65925 (a UDF
// primary volume descriptor's implementation identifier at sector 32). A
// signature the image is too short to hold does not match.
bool passes_header_test(File& image);

} // namespace isorelink
