#pragma once
// UDF descriptor tags: the CRC (CRC-ITU-T: polynomial 0x1021, initial 0, no
// reflection, no final xor), the checksum, and sealing a descriptor.
#include <cstddef>
#include <cstdint>

#include "format/udf/crc_itu_t.h"
#include "format/endian.h"

namespace isorelink::udf {

// Sum of tag bytes 0-3 and 5-15, modulo 256.
std::uint8_t tag_checksum(ByteView descriptor);

// Writes the tag's CRC length, CRC (over bytes 16 .. 16 + crc_length - 1)
// and checksum. The descriptor must hold 16 + crc_length bytes.
void seal_tag(MutableByteView descriptor, std::uint16_t crc_length);

// Recomputes CRC and checksum with the CRC length the tag records.
void reseal_tag(MutableByteView descriptor);

// True when checksum and CRC agree with the bytes (the CRC length recorded in
// the tag must fit inside the span).
bool tag_is_valid(ByteView descriptor);

} // namespace isorelink::udf
