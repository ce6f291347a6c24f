#pragma once
// Where the UDF bridge of a PS2 DVD keeps what we read and write.
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
inline constexpr std::size_t kAccessType = 184;
inline constexpr std::size_t kStartingLocation = 188;
inline constexpr std::size_t kLength = 192;
inline constexpr std::size_t kImplementationId = 196;
} // namespace pd

// Primary volume descriptor: its implementation identifier's text stands
// at sector 32, byte 389 ("DVD" at image offset 65925).
namespace upvd {
inline constexpr std::size_t kImplementationId = 388;
} // namespace upvd
inline constexpr std::uint64_t kDvdSignatureOffset = 32 * 2048 + upvd::kImplementationId + 1;
static_assert(kDvdSignatureOffset == 65925);

// File Set Descriptor: its logical volume identifier charset at byte 48
// opens with 0x00 "OSTA Compressed", on the 16-byte grid.
namespace fsd {
inline constexpr std::size_t kLogicalVolumeIdCharset = 48;
} // namespace fsd

// File Entry (one sector).
namespace fe {
inline constexpr std::size_t kIcbTag = 16;
inline constexpr std::size_t kInformationLength = 56;      // u64
inline constexpr std::size_t kLogicalBlocksRecorded = 64;  // u64
inline constexpr std::size_t kImplementationId = 128;      // regid: 0x00 "DVD-ROM GENERATOR"
inline constexpr std::size_t kExtendedAttributesLength = 168;
inline constexpr std::size_t kAllocationDescriptorsLength = 172;
inline constexpr std::size_t kExtendedAttributes = 176;
// Our File Entries carry 132 bytes of extended attributes, so the short
// allocation descriptor follows at 308 and the attribute marker sits at 288.
inline constexpr std::size_t kExtendedAttributesSize = 132;
inline constexpr std::size_t kAttributeMarker = 288;
inline constexpr std::size_t kShortAllocationDescriptor = kExtendedAttributes + kExtendedAttributesSize;  // 308
inline constexpr std::size_t kDescriptorToInformationLength = kShortAllocationDescriptor - kInformationLength;
static_assert(kShortAllocationDescriptor == 308);
static_assert(kDescriptorToInformationLength == 252);
} // namespace fe

// Short allocation descriptor.
namespace short_ad {
inline constexpr std::size_t kExtentLength = 0;
inline constexpr std::size_t kExtentPosition = 4;
inline constexpr std::size_t kSize = 8;
} // namespace short_ad

// Fields a reader walking from the anchor to the files needs.
namespace walk {
// Logical volume descriptor: the File Set Descriptor's long_ad.
inline constexpr std::size_t kLvdBlockSize = 212;
inline constexpr std::size_t kLvdFileSetLocation = 248;
// File Set Descriptor: the root directory's ICB long_ad.
inline constexpr std::size_t kFsdRootIcb = 400;
// long_ad: length, block, partition reference number.
inline constexpr std::size_t kLongAdLength = 0;
inline constexpr std::size_t kLongAdBlock = 4;
inline constexpr std::size_t kLongAdPartition = 8;
// ICB tag inside a File Entry (at fe::kIcbTag): file type and flags.
inline constexpr std::size_t kFileType = 16 + 11;
inline constexpr std::size_t kIcbFlags = 16 + 18;
inline constexpr std::uint16_t kAllocationTypeMask = 0x0007;  // 0 short_ad, 1 long_ad, 3 embedded
inline constexpr std::uint8_t kFileTypeDirectory = 4;
// File Identifier Descriptor.
inline constexpr std::size_t kFidCharacteristics = 18;
inline constexpr std::size_t kFidIdentifierLength = 19;
inline constexpr std::size_t kFidIcb = 20;
inline constexpr std::size_t kFidImplementationUseLength = 36;
inline constexpr std::size_t kFidFixedSize = 38;
inline constexpr std::uint8_t kFidDirectory = 0x02;
inline constexpr std::uint8_t kFidDeleted = 0x04;
inline constexpr std::uint8_t kFidParent = 0x08;
// Extent lengths keep the extent's type in their top two bits.
inline constexpr std::uint32_t kExtentLengthMask = 0x3FFFFFFF;
} // namespace walk

} // namespace isorelink::udf
