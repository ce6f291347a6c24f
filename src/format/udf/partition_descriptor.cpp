#include "format/udf/partition_descriptor.h"

#include <algorithm>

#include "format/udf/fields.h"
#include "format/udf/tag.h"

namespace isorelink::udf {

PartitionDescriptor decode_partition_descriptor(ByteView d) {
    PartitionDescriptor p;
    p.sequence_number = le32(d, vds::kSequenceNumber);
    p.flags = le16(d, pd::kFlags);
    p.number = le16(d, pd::kPartitionNumber);
    p.contents = field_bytes(d, pd::kContents, kRegidSize);
    p.access_type = le32(d, pd::kAccessType);
    p.starting_location = le32(d, pd::kStartingLocation);
    p.length = le32(d, pd::kLength);
    p.implementation_id = field_bytes(d, pd::kImplementationId, kRegidSize);
    return p;
}

void encode_partition_descriptor(MutableByteView d, std::uint32_t location, const PartitionDescriptor& p) {
    detail::check_field(d.size(), 0, pd::kSize);
    std::fill_n(d.begin(), pd::kSize, std::byte{0});
    put_tag(d, kPartitionDescriptor, location);
    put_le32(d, vds::kSequenceNumber, p.sequence_number);
    put_le16(d, pd::kFlags, p.flags);
    put_le16(d, pd::kPartitionNumber, p.number);
    put_field(d, pd::kContents, kRegidSize, p.contents);
    put_le32(d, pd::kAccessType, p.access_type);
    put_le32(d, pd::kStartingLocation, p.starting_location);
    put_partition_length(d, p.length);
    put_field(d, pd::kImplementationId, kRegidSize, p.implementation_id);
    seal_tag(d, static_cast<std::uint16_t>(pd::kSize - tag::kSize));
}

} // namespace isorelink::udf
