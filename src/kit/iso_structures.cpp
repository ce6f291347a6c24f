#include "kit/iso_structures.h"

#include <algorithm>
#include <cstring>

#include "format/iso9660/layout.h"
#include "format/sector.h"

namespace isorelink::kit {

namespace {

void put_text(MutableByteView b, std::size_t off, std::size_t width, std::string_view text, char fill = ' ') {
    for (std::size_t i = 0; i < width; ++i)
        b[off + i] = static_cast<std::byte>(i < text.size() ? text[i] : fill);
}

std::string_view system_identifier(ImageKind kind) { return kind == ImageKind::PspUmd ? "PSP GAME" : "PLAYSTATION"; }

std::uint32_t directory_size(const PlannedDirectory& dir) { return dir.sectors * kSectorSize; }

} // namespace

void put_record_date(MutableByteView b, std::size_t off) {
    const std::uint8_t date[7] = {104, 6, 15, 12, 0, 0, 0};
    for (std::size_t i = 0; i < 7; ++i) put_u8(b, off + i, date[i]);
}

void put_volume_date(MutableByteView b, std::size_t off) {
    put_text(b, off, 16, "2004061512000000");
    put_u8(b, off + 16, 0);
}

void put_unset_volume_date(MutableByteView b, std::size_t off) {
    put_text(b, off, 16, "0000000000000000");
    put_u8(b, off + 16, 0);
}

void put_directory_record(MutableByteView b, std::size_t off, std::uint32_t extent, std::uint32_t size,
                          std::uint8_t flags, std::string_view identifier, bool xa) {
    namespace dr = iso::dr;
    const std::uint32_t length = directory_record_size(identifier.size(), xa);
    put_u8(b, off + dr::kLength, static_cast<std::uint8_t>(length));
    put_u8(b, off + dr::kExtendedAttributeLength, 0);
    put_both32(b, off + dr::kExtent, extent);
    put_both32(b, off + dr::kDataLength, size);
    put_record_date(b, off + dr::kRecordingTime);
    put_u8(b, off + dr::kFlags, flags);
    put_u8(b, off + dr::kFileUnitSize, 0);
    put_u8(b, off + dr::kInterleaveGap, 0);
    put_both16(b, off + dr::kVolumeSequenceNumber, 1);
    put_u8(b, off + dr::kIdentifierLength, static_cast<std::uint8_t>(identifier.size()));
    put_text(b, off + dr::kIdentifier, identifier.size(), identifier);
    const std::size_t padded = dr::kFixedSize + identifier.size() + ((identifier.size() & 1) ? 0 : 1);
    if (dr::kFixedSize + identifier.size() < padded) put_u8(b, off + dr::kFixedSize + identifier.size(), 0);
    if (!xa) return;
    // Owner and group 0, attributes (read and execute for all, Mode 2 Form 1,
    // directory bit for directories), "XA", file number 0.
    const std::uint16_t attributes = (flags & dr::kFlagDirectory) ? 0x8D55 : 0x0D55;
    put_be16(b, off + padded, 0);
    put_be16(b, off + padded + 2, 0);
    put_be16(b, off + padded + 4, attributes);
    put_text(b, off + padded + 6, 2, "XA");
    put_text(b, off + padded + 8, 6, std::string_view("\0\0\0\0\0\0", 6));
}

void encode_primary_descriptor(const ImageRecipe& recipe, const Plan& plan, MutableByteView s) {
    namespace pvd = iso::pvd;
    std::fill(s.begin(), s.end(), std::byte{0});
    put_u8(s, pvd::kType, 1);
    put_text(s, pvd::kStandardId, 5, "CD001");
    put_u8(s, pvd::kVersion, 1);
    put_text(s, pvd::kSystemId, 32, system_identifier(recipe.kind));
    put_text(s, pvd::kVolumeId, 32, recipe.volume_id);
    put_both32(s, pvd::kVolumeSpaceSize, plan.sector_count);
    put_both16(s, pvd::kVolumeSetSize, 1);
    put_both16(s, pvd::kVolumeSequenceNumber, 1);
    put_both16(s, pvd::kLogicalBlockSize, static_cast<std::uint16_t>(kSectorSize));
    put_both32(s, pvd::kPathTableSize, plan.path_table_size);
    put_le32(s, pvd::kTypeLPathTable, plan.type_l);
    put_le32(s, pvd::kOptionalTypeLPathTable, plan.optional_l);
    put_be32(s, pvd::kTypeMPathTable, plan.type_m);
    put_be32(s, pvd::kOptionalTypeMPathTable, plan.optional_m);
    const auto& root = plan.directories.front();
    put_directory_record(s, pvd::kRootDirectoryRecord, root.sector, directory_size(root), iso::dr::kFlagDirectory,
                         std::string_view("\0", 1));
    put_text(s, pvd::kVolumeSetId, 128, recipe.volume_id);
    put_text(s, pvd::kPublisherId, 128, "");
    put_text(s, pvd::kPreparerId, 128, "");
    put_text(s, pvd::kApplicationId, 128, recipe.kind == ImageKind::PspUmd ? "PSP GAME" : "PLAYSTATION");
    put_text(s, pvd::kApplicationId + 128, 37 * 3, "");  // copyright, abstract, bibliographic file ids
    put_volume_date(s, pvd::kCreationTime);
    put_volume_date(s, pvd::kModificationTime);
    put_unset_volume_date(s, pvd::kExpirationTime);
    put_unset_volume_date(s, pvd::kEffectiveTime);
    put_u8(s, pvd::kFileStructureVersion, 1);
    if (recipe.kind != ImageKind::Ps2Dvd) put_text(s, pvd::kXaSignature, 8, "CD-XA001");
}

void encode_set_terminator(MutableByteView s) {
    std::fill(s.begin(), s.end(), std::byte{0});
    put_u8(s, 0, 255);
    put_text(s, 1, 5, "CD001");
    put_u8(s, 6, 1);
}

std::vector<std::byte> encode_path_table(const Plan& plan, bool big_endian) {
    namespace ptr = iso::ptr;
    std::vector<std::byte> table(std::size_t{plan.path_table_sectors} * kSectorSize);
    MutableByteView b(table);
    std::size_t off = 0;
    for (const auto& dir : plan.directories) {
        const std::string_view id = dir.name.empty() ? std::string_view("\0", 1) : std::string_view(dir.name);
        const auto parent = static_cast<std::uint16_t>(dir.parent + 1);
        put_u8(b, off + ptr::kIdentifierLength, static_cast<std::uint8_t>(id.size()));
        put_u8(b, off + ptr::kExtendedAttributeLength, 0);
        if (big_endian) {
            put_be32(b, off + ptr::kExtent, dir.sector);
            put_be16(b, off + ptr::kParentNumber, parent);
        } else {
            put_le32(b, off + ptr::kExtent, dir.sector);
            put_le16(b, off + ptr::kParentNumber, parent);
        }
        put_text(b, off + ptr::kIdentifier, id.size(), id);
        off += ptr::record_size(id.size());
    }
    return table;
}

std::vector<std::byte> encode_directory(const Plan& plan, std::size_t directory) {
    const auto& dir = plan.directories[directory];
    const bool xa = has_xa_records(plan.kind);
    std::vector<std::byte> extent(std::size_t{dir.sectors} * kSectorSize);
    MutableByteView b(extent);
    for (const auto& record : dir.records) {
        switch (record.role) {
        case RecordRole::Self:
        case RecordRole::Parent: {
            const auto& target = plan.directories[record.index];
            const char id = record.role == RecordRole::Self ? '\0' : '\1';
            put_directory_record(b, record.offset, target.sector, directory_size(target), iso::dr::kFlagDirectory,
                                 std::string_view(&id, 1), xa);
            break;
        }
        case RecordRole::Directory: {
            const auto& target = plan.directories[record.index];
            put_directory_record(b, record.offset, target.sector, directory_size(target), iso::dr::kFlagDirectory,
                                 target.name, xa);
            break;
        }
        case RecordRole::FilePiece: {
            const auto& file = plan.files[record.index];
            const auto& piece = file.pieces[record.piece];
            put_directory_record(b, record.offset, piece.sector, piece.size, piece.flags, file.identifier, xa);
            break;
        }
        }
    }
    return extent;
}

} // namespace isorelink::kit
