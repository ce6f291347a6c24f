#include "format/udf/anchor.h"

#include <algorithm>

#include "format/udf/tag.h"

namespace isorelink::udf {

AnchorPointer decode_anchor(ByteView d) {
    AnchorPointer a;
    a.main = {le32(d, avdp::kMainSequenceLength), le32(d, avdp::kMainSequenceLocation)};
    a.reserve = {le32(d, avdp::kReserveSequenceLength), le32(d, avdp::kReserveSequenceLocation)};
    return a;
}

void encode_anchor(MutableByteView sector, std::uint32_t location, const AnchorPointer& a) {
    detail::check_field(sector.size(), 0, tag::kSize + avdp::kCrcLength);
    std::fill(sector.begin(), sector.end(), std::byte{0});
    put_tag(sector, kAnchorVolumeDescriptorPointer, location);
    put_le32(sector, avdp::kMainSequenceLength, a.main.length);
    put_le32(sector, avdp::kMainSequenceLocation, a.main.location);
    put_le32(sector, avdp::kReserveSequenceLength, a.reserve.length);
    put_le32(sector, avdp::kReserveSequenceLocation, a.reserve.location);
    seal_tag(sector, avdp::kCrcLength);
}

} // namespace isorelink::udf
