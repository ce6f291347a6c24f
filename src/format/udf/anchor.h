#pragma once
// The anchor volume descriptor pointer (sector 256 and the volume's last):
// where the main and the reserve volume descriptor sequences lie.
#include <cstdint>

#include "format/endian.h"
#include "format/udf/layout.h"

namespace isorelink::udf {

struct ExtentAd {
    std::uint32_t length = 0;    // bytes
    std::uint32_t location = 0;  // sector
};

struct AnchorPointer {
    ExtentAd main{avdp::kSequenceLength, avdp::kMainSequenceSector};
    ExtentAd reserve{avdp::kSequenceLength, avdp::kReserveSequenceSector};
};

// The pointer's fields (the tag is read with decode_tag()).
AnchorPointer decode_anchor(ByteView descriptor);

// The whole sector at `location`: tag, pointers, zeros, sealed over the rest
// of the sector.
void encode_anchor(MutableByteView sector, std::uint32_t location, const AnchorPointer& anchor = {});

} // namespace isorelink::udf
