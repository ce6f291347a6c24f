#pragma once
// Where ISO 9660 keeps what we read and write. One table for the image kit,
// the extraction and the rebuild.
#include <cstddef>
#include <cstdint>

namespace isorelink::iso {

// Volume descriptors start at sector 16; the primary one is there.
inline constexpr std::uint32_t kPrimaryDescriptorSector = 16;
inline constexpr std::uint64_t kPrimaryDescriptorOffset = 32768;

// Primary volume descriptor fields (offsets within the descriptor).
namespace pvd {
inline constexpr std::size_t kType = 0;
inline constexpr std::size_t kStandardId = 1;        // "CD001"
inline constexpr std::size_t kVersion = 6;
inline constexpr std::size_t kSystemId = 8;          // 32 a-characters: "PLAYSTATION", "PSP GAME"
inline constexpr std::size_t kVolumeId = 40;         // 32 d-characters
inline constexpr std::size_t kVolumeSpaceSize = 80;  // both-byte-order 32
inline constexpr std::size_t kVolumeSetSize = 120;   // both-byte-order 16
inline constexpr std::size_t kVolumeSequenceNumber = 124;
inline constexpr std::size_t kLogicalBlockSize = 128;
inline constexpr std::size_t kPathTableSize = 132;        // both-byte-order 32
inline constexpr std::size_t kTypeLPathTable = 140;       // little-endian 32
inline constexpr std::size_t kOptionalTypeLPathTable = 144;
inline constexpr std::size_t kTypeMPathTable = 148;       // big-endian 32
inline constexpr std::size_t kOptionalTypeMPathTable = 152;
inline constexpr std::size_t kRootDirectoryRecord = 156;  // 34 bytes
inline constexpr std::size_t kVolumeSetId = 190;
inline constexpr std::size_t kPublisherId = 318;
inline constexpr std::size_t kPreparerId = 446;
inline constexpr std::size_t kApplicationId = 574;
inline constexpr std::size_t kCreationTime = 813;      // 17-byte dates from here on
inline constexpr std::size_t kModificationTime = 830;
inline constexpr std::size_t kExpirationTime = 847;
inline constexpr std::size_t kEffectiveTime = 864;
inline constexpr std::size_t kFileStructureVersion = 881;
inline constexpr std::size_t kApplicationUse = 883;    // 512 bytes
inline constexpr std::size_t kXaSignature = 1024;      // "CD-XA001" on PS2 CD and PSP UMD
static_assert(kRootDirectoryRecord + 34 == kVolumeSetId);
static_assert(kApplicationUse + 512 == 1395);
} // namespace pvd

// Absolute image offsets that the kind test and the header test read.
inline constexpr std::uint64_t kSystemByteOffset = kPrimaryDescriptorOffset + pvd::kSystemId + 1;   // 32777
inline constexpr std::uint64_t kApplicationByteOffset = kPrimaryDescriptorOffset + pvd::kXaSignature;  // 33792
inline constexpr std::uint64_t kVolumeSpaceSizeOffset = kPrimaryDescriptorOffset + pvd::kVolumeSpaceSize;  // 32848
inline constexpr std::uint64_t kPathTableSizeOffset = kPrimaryDescriptorOffset + pvd::kPathTableSize;
inline constexpr std::uint64_t kTypeLPathTableOffset = kPrimaryDescriptorOffset + pvd::kTypeLPathTable;  // 32908
inline constexpr std::uint64_t kOptionalTypeLPathTableOffset =
    kPrimaryDescriptorOffset + pvd::kOptionalTypeLPathTable;  // 32912
static_assert(kSystemByteOffset == 32777);
static_assert(kApplicationByteOffset == 33792);
static_assert(kVolumeSpaceSizeOffset == 32848);
static_assert(kTypeLPathTableOffset == 32908 && kOptionalTypeLPathTableOffset == 32912);

// Directory record fields.
namespace dr {
inline constexpr std::size_t kLength = 0;
inline constexpr std::size_t kExtendedAttributeLength = 1;
inline constexpr std::size_t kExtent = 2;       // both-byte-order 32
inline constexpr std::size_t kDataLength = 10;  // both-byte-order 32
inline constexpr std::size_t kRecordingTime = 18;  // 7 bytes
inline constexpr std::size_t kFlags = 25;
inline constexpr std::size_t kFileUnitSize = 26;
inline constexpr std::size_t kInterleaveGap = 27;
inline constexpr std::size_t kVolumeSequenceNumber = 28;  // both-byte-order 16
inline constexpr std::size_t kIdentifierLength = 32;
inline constexpr std::size_t kIdentifier = 33;
inline constexpr std::size_t kFixedSize = 33;  // bytes before the identifier
// The relink patch covers extent and data length, both byte orders.
inline constexpr std::size_t kPatchedBytes = 16;
static_assert(kExtent + 8 == kDataLength && kDataLength + 8 == kRecordingTime);
static_assert(kRecordingTime + 7 == kFlags && kVolumeSequenceNumber + 4 == kIdentifierLength);

// File flags.
inline constexpr std::uint8_t kFlagHidden = 0x01;
inline constexpr std::uint8_t kFlagDirectory = 0x02;
inline constexpr std::uint8_t kFlagMultiExtent = 0x80;
} // namespace dr

// Path table record fields (type L: little-endian numbers).
namespace ptr {
inline constexpr std::size_t kIdentifierLength = 0;
inline constexpr std::size_t kExtendedAttributeLength = 1;
inline constexpr std::size_t kExtent = 2;
inline constexpr std::size_t kParentNumber = 6;
inline constexpr std::size_t kIdentifier = 8;
inline constexpr std::size_t kFixedSize = 8;
// Bytes a record takes: its identifier padded to an even length.
constexpr std::size_t record_size(std::size_t identifier_length) {
    return kFixedSize + identifier_length + (identifier_length & 1);
}
static_assert(kExtent + 4 == kParentNumber && kParentNumber + 2 == kIdentifier);
} // namespace ptr

} // namespace isorelink::iso
