#pragma once
// UDF descriptor tags: decoded, encoded, and sealed. The CRC is CRC-ITU-T
// (polynomial 0x1021, initial 0, no reflection, no final xor) over the bytes
// after the tag; the checksum is the sum of tag bytes 0-3 and 5-15.
#include <cstddef>
#include <cstdint>

#include "format/endian.h"
#include "format/udf/crc_itu_t.h"
#include "format/udf/layout.h"

namespace isorelink::udf {

struct DescriptorTag {
    std::uint16_t identifier = 0;
    std::uint16_t version = kDescriptorVersion;
    std::uint8_t checksum = 0;
    std::uint16_t serial = 0;
    std::uint16_t crc = 0;
    std::uint16_t crc_length = 0;
    std::uint32_t location = 0;  // the descriptor's own sector or block
};

// The tag at the descriptor's start (16 bytes).
inline DescriptorTag decode_tag(ByteView descriptor) {
    DescriptorTag t;
    t.identifier = le16(descriptor, tag::kIdentifier);
    t.version = le16(descriptor, tag::kVersion);
    t.checksum = u8(descriptor, tag::kChecksum);
    t.serial = le16(descriptor, tag::kSerial);
    t.crc = le16(descriptor, tag::kCrc);
    t.crc_length = le16(descriptor, tag::kCrcLength);
    t.location = le32(descriptor, tag::kLocation);
    return t;
}

// Writes every field as given (the reserved byte as zero); seal_tag() makes
// checksum and CRC agree with the bytes.
void encode_tag(MutableByteView descriptor, const DescriptorTag& t);

// A fresh tag before sealing: identifier, version 2, location.
inline void put_tag(MutableByteView descriptor, std::uint16_t identifier, std::uint32_t location) {
    DescriptorTag t;
    t.identifier = identifier;
    t.location = location;
    encode_tag(descriptor, t);
}

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
