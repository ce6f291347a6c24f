#pragma once
// The partition descriptor: where the partition starts and how long it is.
#include <cstdint>

#include "format/endian.h"
#include "format/udf/layout.h"

namespace isorelink::udf {

struct PartitionDescriptor {
    std::uint32_t sequence_number = 0;
    std::uint16_t flags = 1;  // space allocated
    std::uint16_t number = 0;
    ByteView contents;        // regid, 32 bytes: "+NSR02"
    std::uint32_t access_type = 1;  // read only
    std::uint32_t starting_location = 0;
    std::uint32_t length = 0;  // sectors
    ByteView implementation_id;  // regid, 32 bytes
};

// The descriptor's fields (the tag is read with decode_tag()); at least
// pd::kImplementationId + 32 bytes.
PartitionDescriptor decode_partition_descriptor(ByteView descriptor);

// The 512-byte descriptor at `location`, zeros where no field is, sealed.
// Regids shorter than 32 bytes are padded with zeros.
void encode_partition_descriptor(MutableByteView descriptor, std::uint32_t location, const PartitionDescriptor& p);

// The length alone, in place; the caller reseals the tag.
inline void put_partition_length(MutableByteView descriptor, std::uint32_t length) {
    put_le32(descriptor, pd::kLength, length);
}

} // namespace isorelink::udf
