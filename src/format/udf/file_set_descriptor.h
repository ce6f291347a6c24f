#pragma once
// The File Set Descriptor: names the file set and points at the root
// directory's File Entry.
#include <cstdint>

#include "format/endian.h"
#include "format/udf/allocation_descriptor.h"
#include "format/udf/layout.h"

namespace isorelink::udf {

struct FileSetDescriptor {
    ByteView recording_time;  // timestamp, 12 bytes
    std::uint16_t interchange_level = 3;
    std::uint16_t max_interchange_level = 3;
    std::uint32_t charset_list = 1;
    std::uint32_t max_charset_list = 1;
    std::uint32_t file_set_number = 0;
    std::uint32_t file_set_descriptor_number = 0;
    ByteView logical_volume_id_charset;  // charspec, 64 bytes
    ByteView logical_volume_id;          // dstring, 128 bytes
    ByteView file_set_charset;           // charspec, 64 bytes
    ByteView file_set_id;                // dstring, 32 bytes
    LongAd root_icb;
    ByteView domain_id;                  // regid, 32 bytes
};

// The descriptor's fields (the tag is read with decode_tag()); at least
// fsd::kSize bytes.
FileSetDescriptor decode_file_set_descriptor(ByteView descriptor);

// The 512-byte descriptor at `location`, zeros where no field is, sealed.
// Byte fields shorter than their width are padded with zeros.
void encode_file_set_descriptor(MutableByteView descriptor, std::uint32_t location, const FileSetDescriptor& f);

// The root directory's ICB alone.
inline LongAd file_set_root(ByteView descriptor) { return decode_long_ad(descriptor, fsd::kRootIcb); }

} // namespace isorelink::udf
