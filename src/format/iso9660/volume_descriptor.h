#pragma once
// The primary volume descriptor (sector 16): decoded from its bytes and
// encoded into a sector, and the single fields the jobs read and write in
// place (the kind bytes, the volume space size at 32848, the type L path
// table). Text fields are spans of the descriptor's bytes, padding included.
#include <array>
#include <cstddef>
#include <cstdint>

#include "format/endian.h"
#include "format/iso9660/directory_record.h"
#include "format/iso9660/layout.h"

namespace isorelink {

struct PrimaryVolumeDescriptor {
    std::uint8_t type = 1;
    ByteView standard_id;  // "CD001"
    std::uint8_t version = 1;
    ByteView system_id;    // 32 bytes: "PLAYSTATION", "PSP GAME"
    ByteView volume_id;    // 32 bytes
    std::uint32_t volume_space_size = 0;
    std::uint16_t volume_set_size = 1;
    std::uint16_t volume_sequence_number = 1;
    std::uint16_t logical_block_size = 2048;
    std::uint32_t path_table_size = 0;
    std::uint32_t type_l_path_table = 0;
    std::uint32_t optional_type_l_path_table = 0;
    std::uint32_t type_m_path_table = 0;  // stored big-endian
    std::uint32_t optional_type_m_path_table = 0;
    DirectoryRecord root;                 // 34 bytes
    ByteView volume_set_id;               // 128 bytes
    ByteView publisher_id;
    ByteView preparer_id;
    ByteView application_id;
    ByteView file_ids;                    // copyright, abstract, bibliographic: 3 × 37 bytes
    ByteView creation_time;               // 17 bytes each
    ByteView modification_time;
    ByteView expiration_time;
    ByteView effective_time;
    std::uint8_t file_structure_version = 1;
    ByteView application_use;             // 512 bytes; the XA signature opens at 1024
};

namespace iso::pvd {
inline constexpr std::size_t kSize = kApplicationUse + 512;  // 1395: the rest of the sector is reserved
inline constexpr std::size_t kRootRecordSize = 34;
inline constexpr std::size_t kFileIdsSize = 3 * 37;
} // namespace iso::pvd

// Type 1 and "CD001": the descriptor is a primary volume descriptor.
bool is_primary_volume_descriptor(ByteView descriptor);

// Decodes the descriptor (at least iso::pvd::kSize bytes); the spans point
// into descriptor.
PrimaryVolumeDescriptor decode_primary_volume_descriptor(ByteView descriptor);

// Writes the whole sector: the fields, zeros elsewhere. Text spans shorter
// than their field are padded with spaces, longer ones are cut.
void encode_primary_volume_descriptor(MutableByteView sector, const PrimaryVolumeDescriptor& descriptor);

// Single fields, each within the descriptor's bytes from offset 0 on.
inline std::uint8_t system_byte(ByteView descriptor) { return u8(descriptor, iso::pvd::kSystemId + 1); }
inline std::uint8_t application_byte(ByteView descriptor) { return u8(descriptor, iso::pvd::kXaSignature); }
inline std::uint32_t volume_space_size(ByteView descriptor) { return both32(descriptor, iso::pvd::kVolumeSpaceSize); }
inline void put_volume_space_size(MutableByteView descriptor, std::uint32_t sectors) {
    put_both32(descriptor, iso::pvd::kVolumeSpaceSize, sectors);
}
// The volume space size field on its own, as the rebuild reads and writes it
// at 32848: its little-endian half, and both halves.
inline std::uint32_t volume_space_size_from_field(ByteView field) { return le32(field, 0); }
inline std::array<std::byte, 8> volume_space_size_field(std::uint32_t sectors) {
    std::array<std::byte, 8> field{};
    put_both32(field, 0, sectors);
    return field;
}
inline std::uint32_t path_table_size(ByteView descriptor) { return both32(descriptor, iso::pvd::kPathTableSize); }
inline std::uint32_t type_l_path_table(ByteView descriptor) { return le32(descriptor, iso::pvd::kTypeLPathTable); }
inline std::uint32_t optional_type_l_path_table(ByteView descriptor) {
    return le32(descriptor, iso::pvd::kOptionalTypeLPathTable);
}
// Bytes of the descriptor's head that hold every path table field above.
inline constexpr std::size_t kPathTableFieldsEnd = iso::pvd::kOptionalTypeLPathTable + 4;

} // namespace isorelink
