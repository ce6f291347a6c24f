#pragma once
// Where the UDF bridge of a PS2 DVD keeps what we read and write, grouped by
// structure: offsets within each descriptor.
#include <cstddef>
#include <cstdint>

namespace isorelink::udf {

// Descriptor tag: the first 16 bytes of every descriptor.
namespace tag {
inline constexpr std::size_t kIdentifier = 0;
inline constexpr std::size_t kVersion = 2;
inline constexpr std::size_t kChecksum = 4;
inline constexpr std::size_t kReserved = 5;
inline constexpr std::size_t kSerial = 6;
inline constexpr std::size_t kCrc = 8;
inline constexpr std::size_t kCrcLength = 10;
inline constexpr std::size_t kLocation = 12;
inline constexpr std::size_t kSize = 16;
static_assert(kLocation + 4 == kSize);
} // namespace tag

// Tag identifiers.
inline constexpr std::uint16_t kPrimaryVolumeDescriptor = 1;
inline constexpr std::uint16_t kAnchorVolumeDescriptorPointer = 2;
inline constexpr std::uint16_t kImplementationUseVolumeDescriptor = 4;
inline constexpr std::uint16_t kPartitionDescriptor = 5;
inline constexpr std::uint16_t kLogicalVolumeDescriptor = 6;
inline constexpr std::uint16_t kUnallocatedSpaceDescriptor = 7;
inline constexpr std::uint16_t kTerminatingDescriptor = 8;
inline constexpr std::uint16_t kLogicalVolumeIntegrityDescriptor = 9;
inline constexpr std::uint16_t kFileSetDescriptor = 256;
inline constexpr std::uint16_t kFileIdentifierDescriptor = 257;
inline constexpr std::uint16_t kFileEntry = 261;
inline constexpr std::uint16_t kExtendedAttributeHeaderDescriptor = 262;
inline constexpr std::uint16_t kDescriptorVersion = 2;

// The first four bytes of a File Entry sector: tag 261, version 2.
inline constexpr std::uint32_t kFileEntryTagWord = 0x00020105;

// Volume descriptors share the sequence number after the tag.
namespace vds {
inline constexpr std::size_t kSequenceNumber = 16;
} // namespace vds

// Short allocation descriptor: extent length, block within the partition.
namespace short_ad {
inline constexpr std::size_t kExtentLength = 0;
inline constexpr std::size_t kExtentPosition = 4;
inline constexpr std::size_t kSize = 8;
// Extent lengths keep the extent's type in their top two bits.
inline constexpr std::uint32_t kExtentLengthMask = 0x3FFFFFFF;
} // namespace short_ad

// Long allocation descriptor: length, block, partition reference number, and
// six bytes of implementation use.
namespace long_ad {
inline constexpr std::size_t kLength = 0;
inline constexpr std::size_t kBlock = 4;
inline constexpr std::size_t kPartition = 8;
inline constexpr std::size_t kImplementationUse = 10;
inline constexpr std::size_t kSize = 16;
} // namespace long_ad

// Anchor volume descriptor pointer.
namespace avdp {
inline constexpr std::size_t kMainSequenceLength = 16;
inline constexpr std::size_t kMainSequenceLocation = 20;
inline constexpr std::size_t kReserveSequenceLength = 24;
inline constexpr std::size_t kReserveSequenceLocation = 28;
inline constexpr std::uint32_t kSequenceLength = 32768;
inline constexpr std::uint32_t kMainSequenceSector = 32;
inline constexpr std::uint32_t kReserveSequenceSector = 48;
inline constexpr std::uint16_t kCrcLength = 2032;  // the rest of the sector
inline constexpr std::uint16_t kCrc = 0xB51E;      // bytes 16-2047 never change
inline constexpr std::uint32_t kFirstAnchorSector = 256;
} // namespace avdp

// Partition descriptor.
namespace pd {
inline constexpr std::size_t kFlags = 20;
inline constexpr std::size_t kPartitionNumber = 22;
inline constexpr std::size_t kContents = 24;  // regid "+NSR02"
inline constexpr std::size_t kContentsUse = 56;
inline constexpr std::size_t kAccessType = 184;
inline constexpr std::size_t kStartingLocation = 188;
inline constexpr std::size_t kLength = 192;
inline constexpr std::size_t kImplementationId = 196;
inline constexpr std::size_t kSize = 512;
} // namespace pd

// Primary volume descriptor: its implementation identifier's text stands
// at sector 32, byte 389 ("DVD" at image offset 65925).
namespace upvd {
inline constexpr std::size_t kImplementationId = 388;
} // namespace upvd
inline constexpr std::uint64_t kDvdSignatureOffset = 32 * 2048 + upvd::kImplementationId + 1;
static_assert(kDvdSignatureOffset == 65925);

// Logical volume descriptor: the block size and the File Set Descriptor's long_ad.
namespace lvd {
inline constexpr std::size_t kBlockSize = 212;
inline constexpr std::size_t kFileSetLocation = 248;
} // namespace lvd

// File Set Descriptor.
namespace fsd {
inline constexpr std::size_t kRecordingTime = 16;
inline constexpr std::size_t kInterchangeLevel = 28;
inline constexpr std::size_t kMaxInterchangeLevel = 30;
inline constexpr std::size_t kCharsetList = 32;
inline constexpr std::size_t kMaxCharsetList = 36;
inline constexpr std::size_t kFileSetNumber = 40;
inline constexpr std::size_t kFileSetDescriptorNumber = 44;
// The logical volume identifier charset opens with 0x00 "OSTA Compressed",
// on the 16-byte grid.
inline constexpr std::size_t kLogicalVolumeIdCharset = 48;
inline constexpr std::size_t kLogicalVolumeId = 112;
inline constexpr std::size_t kFileSetCharset = 240;
inline constexpr std::size_t kFileSetId = 304;
inline constexpr std::size_t kCopyrightFileId = 336;
inline constexpr std::size_t kAbstractFileId = 368;
inline constexpr std::size_t kRootIcb = 400;  // long_ad
inline constexpr std::size_t kDomainId = 416;
inline constexpr std::size_t kSize = 512;
} // namespace fsd

// File Identifier Descriptor.
namespace fid {
inline constexpr std::size_t kVersion = 16;
inline constexpr std::size_t kCharacteristics = 18;
inline constexpr std::size_t kIdentifierLength = 19;
inline constexpr std::size_t kIcb = 20;  // long_ad
inline constexpr std::size_t kImplementationUseLength = 36;
inline constexpr std::size_t kImplementationUse = 38;
inline constexpr std::size_t kFixedSize = 38;
inline constexpr std::uint8_t kHidden = 0x01;
inline constexpr std::uint8_t kDirectory = 0x02;
inline constexpr std::uint8_t kDeleted = 0x04;
inline constexpr std::uint8_t kParent = 0x08;
// The descriptor is padded to a multiple of four bytes.
constexpr std::size_t size(std::size_t implementation_use_length, std::size_t identifier_length) {
    return (kFixedSize + implementation_use_length + identifier_length + 3) & ~std::size_t{3};
}
} // namespace fid

// ICB tag (20 bytes, inside a File Entry).
namespace icb {
inline constexpr std::size_t kPriorDirectEntries = 0;
inline constexpr std::size_t kStrategy = 4;
inline constexpr std::size_t kStrategyParameter = 6;
inline constexpr std::size_t kMaxEntries = 8;
inline constexpr std::size_t kFileType = 11;
inline constexpr std::size_t kParentIcb = 12;  // lb_addr: block, partition reference
inline constexpr std::size_t kFlags = 18;
inline constexpr std::size_t kSize = 20;
inline constexpr std::uint16_t kAllocationTypeMask = 0x0007;  // 0 short_ad, 1 long_ad, 3 embedded
inline constexpr std::uint8_t kFileTypeDirectory = 4;
inline constexpr std::uint8_t kFileTypeFile = 5;
} // namespace icb

// File Entry (one sector).
namespace fe {
inline constexpr std::size_t kIcbTag = 16;
inline constexpr std::size_t kUid = 36;
inline constexpr std::size_t kGid = 40;
inline constexpr std::size_t kPermissions = 44;
inline constexpr std::size_t kLinkCount = 48;
inline constexpr std::size_t kRecordFormat = 50;
inline constexpr std::size_t kRecordDisplayAttributes = 51;
inline constexpr std::size_t kRecordLength = 52;
inline constexpr std::size_t kInformationLength = 56;      // u64
inline constexpr std::size_t kLogicalBlocksRecorded = 64;  // u64
inline constexpr std::size_t kAccessTime = 72;
inline constexpr std::size_t kModificationTime = 84;
inline constexpr std::size_t kAttributeTime = 96;
inline constexpr std::size_t kCheckpoint = 108;
inline constexpr std::size_t kExtendedAttributeIcb = 112;  // long_ad
inline constexpr std::size_t kImplementationId = 128;      // regid: 0x00 "DVD-ROM GENERATOR"
inline constexpr std::size_t kUniqueId = 160;
inline constexpr std::size_t kExtendedAttributesLength = 168;
inline constexpr std::size_t kAllocationDescriptorsLength = 172;
inline constexpr std::size_t kExtendedAttributes = 176;
inline constexpr std::size_t kFileType = kIcbTag + icb::kFileType;
inline constexpr std::size_t kIcbFlags = kIcbTag + icb::kFlags;
// Our File Entries carry 132 bytes of extended attributes, so the short
// allocation descriptor follows at 308 and the attribute marker sits at 288.
inline constexpr std::size_t kExtendedAttributesSize = 132;
inline constexpr std::size_t kAttributeMarker = 288;
inline constexpr std::size_t kShortAllocationDescriptor = kExtendedAttributes + kExtendedAttributesSize;  // 308
inline constexpr std::size_t kDescriptorToInformationLength = kShortAllocationDescriptor - kInformationLength;
static_assert(kShortAllocationDescriptor == 308);
static_assert(kDescriptorToInformationLength == 252);
static_assert(kUniqueId + 8 == kExtendedAttributesLength);
} // namespace fe

// Timestamps, charspecs, regids and identifiers: their widths.
inline constexpr std::size_t kTimestampSize = 12;
inline constexpr std::size_t kCharspecSize = 64;
inline constexpr std::size_t kRegidSize = 32;

} // namespace isorelink::udf
