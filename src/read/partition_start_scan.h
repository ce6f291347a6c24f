#pragma once
// The UDF partition's first sector on a PS2 DVD: the sector of the first File
// Set Descriptor. Its logical volume identifier charset, 0x00 "OSTA
// Compressed", stands at descriptor byte 48, on the 16-byte grid; the charsets
// of the volume descriptors before it do not, so only grid positions count.
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "format/endian.h"
#include "platform/file.h"
#include "common/result.h"

namespace isorelink {

// The 16 bytes searched for.
inline constexpr char kOstaCharsetText[] = "\0OSTA Compressed";
inline constexpr std::size_t kOstaCharsetSize = 16;
static_assert(sizeof(kOstaCharsetText) == kOstaCharsetSize + 1);

// First grid position (a multiple of 16, at least 48) in `data`, which starts
// at image offset `base` (itself a multiple of 16), holding the charset.
std::optional<std::uint64_t> find_charset_on_grid(ByteView data, std::uint64_t base);

// Searches the whole image in large blocks; fails with code 406 (naming the
// image) when the pattern is nowhere on the grid.
Expected<std::uint32_t> find_partition_start(File& image, const std::string& image_path);

} // namespace isorelink
