#pragma once
// The CRC of UDF descriptor tags: CRC-ITU-T, polynomial 0x1021, initial 0,
// no reflection, no final xor. The rebuild reseals a File Entry per relink
// line, so on processors with a carry-less multiply the bulk of the bytes is
// folded sixteen at a time; elsewhere, and for the bytes that are left over,
// tables take them sixteen at a time.
#include <cstdint>

#include "format/endian.h"

namespace isorelink::udf {

std::uint16_t crc_itu_t(ByteView data);

// The same CRC without the carry-less multiply, continuing from crc.
std::uint16_t crc_itu_t_by_tables(ByteView data, std::uint16_t crc = 0);

} // namespace isorelink::udf
