#pragma once
// The logical volume descriptor's fields a walk from the anchor needs: the
// block size and where the File Set Descriptor lies.
#include <cstdint>

#include "format/endian.h"
#include "format/udf/allocation_descriptor.h"
#include "format/udf/layout.h"

namespace isorelink::udf {

inline std::uint32_t logical_block_size(ByteView descriptor) { return le32(descriptor, lvd::kBlockSize); }
inline LongAd file_set_location(ByteView descriptor) { return decode_long_ad(descriptor, lvd::kFileSetLocation); }

} // namespace isorelink::udf
