#pragma once
// The compressions of CSO and ZSO blocks: raw deflate (zlib, window 15, no
// header) and LZ4 blocks. Either library may be missing from a build (the
// Windows cross build has neither); available() says so before anything is
// read or written.
#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "format/compressed_image.h"
#include "format/endian.h"

namespace isorelink::host {

bool codec_available(packed::Storage storage);
// "zlib", "liblz4".
std::string_view codec_library(packed::Storage storage);

// Decodes a stored block into out; returns the bytes produced, nullopt when
// the data do not decode or would overflow out.
std::optional<std::size_t> decode_block(packed::Storage storage, ByteView stored, MutableByteView out);

// Compresses a block (deflate at level 9, or LZ4 high compression); false
// when the library is missing. A result no shorter than the input is the
// caller's cue to store the block plain.
bool encode_block(packed::Storage storage, ByteView block, std::vector<std::byte>& out);

} // namespace isorelink::host
