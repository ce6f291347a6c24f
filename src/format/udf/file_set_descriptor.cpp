#include "format/udf/file_set_descriptor.h"

#include <algorithm>

#include "format/udf/fields.h"
#include "format/udf/tag.h"

namespace isorelink::udf {

FileSetDescriptor decode_file_set_descriptor(ByteView d) {
    detail::check_field(d.size(), 0, fsd::kSize);
    FileSetDescriptor f;
    f.recording_time = field_bytes(d, fsd::kRecordingTime, kTimestampSize);
    f.interchange_level = le16(d, fsd::kInterchangeLevel);
    f.max_interchange_level = le16(d, fsd::kMaxInterchangeLevel);
    f.charset_list = le32(d, fsd::kCharsetList);
    f.max_charset_list = le32(d, fsd::kMaxCharsetList);
    f.file_set_number = le32(d, fsd::kFileSetNumber);
    f.file_set_descriptor_number = le32(d, fsd::kFileSetDescriptorNumber);
    f.logical_volume_id_charset = field_bytes(d, fsd::kLogicalVolumeIdCharset, kCharspecSize);
    f.logical_volume_id = field_bytes(d, fsd::kLogicalVolumeId, 128);
    f.file_set_charset = field_bytes(d, fsd::kFileSetCharset, kCharspecSize);
    f.file_set_id = field_bytes(d, fsd::kFileSetId, 32);
    f.root_icb = file_set_root(d);
    f.domain_id = field_bytes(d, fsd::kDomainId, kRegidSize);
    return f;
}

void encode_file_set_descriptor(MutableByteView d, std::uint32_t location, const FileSetDescriptor& f) {
    detail::check_field(d.size(), 0, fsd::kSize);
    std::fill_n(d.begin(), fsd::kSize, std::byte{0});
    put_tag(d, kFileSetDescriptor, location);
    put_field(d, fsd::kRecordingTime, kTimestampSize, f.recording_time);
    put_le16(d, fsd::kInterchangeLevel, f.interchange_level);
    put_le16(d, fsd::kMaxInterchangeLevel, f.max_interchange_level);
    put_le32(d, fsd::kCharsetList, f.charset_list);
    put_le32(d, fsd::kMaxCharsetList, f.max_charset_list);
    put_le32(d, fsd::kFileSetNumber, f.file_set_number);
    put_le32(d, fsd::kFileSetDescriptorNumber, f.file_set_descriptor_number);
    put_field(d, fsd::kLogicalVolumeIdCharset, kCharspecSize, f.logical_volume_id_charset);
    put_field(d, fsd::kLogicalVolumeId, 128, f.logical_volume_id);
    put_field(d, fsd::kFileSetCharset, kCharspecSize, f.file_set_charset);
    put_field(d, fsd::kFileSetId, 32, f.file_set_id);
    encode_long_ad(d, fsd::kRootIcb, f.root_icb);
    put_field(d, fsd::kDomainId, kRegidSize, f.domain_id);
    seal_tag(d, static_cast<std::uint16_t>(fsd::kSize - tag::kSize));
}

} // namespace isorelink::udf
