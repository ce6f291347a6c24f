#pragma once
// The UDF partition descriptor's length, kept in line with the volume once the
// end step has moved its end. 7-Zip (-tudf) refuses a file whose blocks lie
// beyond the partition's recorded length ("Unsupported Method", headers
// error), and files moved to the end of the image do; pycdlib and udfinfo
// accept them either way. The logical volume integrity descriptor's size
// table is left as it is: no reader we know checks it against the files.
#include <cstdint>

#include "platform/file.h"

namespace isorelink {

// Sets the length of the partition that starts at P, in the main (sector 32)
// and the reserve (sector 48) volume descriptor sequence, to cover every
// sector from P up to the volume's last, which holds the end anchor:
// volume_sectors - 1 - P. Only sound descriptors are changed (identifier 5,
// own location, valid checksum and CRC, starting at P); each is resealed.
// Returns false when a read or write failed.
bool align_partition_length(File& image, std::uint32_t partition_start, std::uint64_t volume_sectors);

} // namespace isorelink
