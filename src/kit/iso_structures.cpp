#include "kit/iso_structures.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>

#include "format/iso9660/directory_record.h"
#include "format/iso9660/layout.h"
#include "format/iso9660/path_table_record.h"
#include "format/iso9660/volume_descriptor.h"
#include "format/sector.h"

namespace isorelink::kit {

namespace {

void put_text(MutableByteView b, std::size_t off, std::size_t width, std::string_view text, char fill = ' ') {
    for (std::size_t i = 0; i < width; ++i)
        b[off + i] = static_cast<std::byte>(i < text.size() ? text[i] : fill);
}

std::string_view system_identifier(ImageKind kind) { return kind == ImageKind::PspUmd ? "PSP GAME" : "PLAYSTATION"; }

std::uint32_t directory_size(const PlannedDirectory& dir) { return dir.sectors * kSectorSize; }

// The fixed recording time of every kit image: 2004-06-15 12:00:00 GMT.
constexpr std::array<std::byte, 7> kRecordDate{std::byte{104}, std::byte{6}, std::byte{15}, std::byte{12},
                                                std::byte{0},   std::byte{0}, std::byte{0}};

ByteView text_bytes(std::string_view text) { return std::as_bytes(std::span(text.data(), text.size())); }

DirectoryRecord kit_record(std::uint32_t extent, std::uint32_t size, std::uint8_t flags, std::string_view identifier) {
    DirectoryRecord record;
    record.extent = extent;
    record.data_length = size;
    record.recording_time = kRecordDate;
    record.flags = flags;
    record.identifier = text_bytes(identifier);
    return record;
}

// 16 digits and a zero offset from GMT.
std::array<std::byte, 17> volume_date(std::string_view digits) {
    std::array<std::byte, 17> date{};
    put_text(date, 0, 16, digits);
    return date;
}

} // namespace

void put_directory_record(MutableByteView b, std::size_t off, std::uint32_t extent, std::uint32_t size,
                          std::uint8_t flags, std::string_view identifier, bool xa) {
    // Owner and group 0, attributes (read and execute for all, Mode 2 Form 1,
    // directory bit for directories), "XA", file number 0.
    std::array<std::byte, kXaSystemUseSize> system_use{};
    DirectoryRecord record = kit_record(extent, size, flags, identifier);
    if (xa) {
        const MutableByteView su(system_use);
        put_be16(su, 4, (flags & iso::dr::kFlagDirectory) ? 0x8D55 : 0x0D55);
        put_text(su, 6, 2, "XA");
        record.system_use = system_use;
    }
    encode_directory_record(b, off, record);
}

void encode_primary_descriptor(const ImageRecipe& recipe, const Plan& plan, MutableByteView s) {
    const auto& root = plan.directories.front();
    const auto set_date = volume_date("2004061512000000");
    const auto unset_date = volume_date("0000000000000000");
    std::array<std::byte, 512> application_use{};
    if (recipe.kind != ImageKind::Ps2Dvd)
        put_text(application_use, iso::pvd::kXaSignature - iso::pvd::kApplicationUse, 8, "CD-XA001");

    PrimaryVolumeDescriptor pvd;
    pvd.system_id = text_bytes(system_identifier(recipe.kind));
    pvd.volume_id = text_bytes(recipe.volume_id);
    pvd.volume_space_size = plan.sector_count;
    pvd.logical_block_size = static_cast<std::uint16_t>(kSectorSize);
    pvd.path_table_size = plan.path_table_size;
    pvd.type_l_path_table = plan.type_l;
    pvd.optional_type_l_path_table = plan.optional_l;
    pvd.type_m_path_table = plan.type_m;
    pvd.optional_type_m_path_table = plan.optional_m;
    pvd.root = kit_record(root.sector, directory_size(root), iso::dr::kFlagDirectory, std::string_view("\0", 1));
    pvd.volume_set_id = text_bytes(recipe.volume_id);
    pvd.application_id = text_bytes(recipe.kind == ImageKind::PspUmd ? "PSP GAME" : "PLAYSTATION");
    pvd.creation_time = set_date;
    pvd.modification_time = set_date;
    pvd.expiration_time = unset_date;
    pvd.effective_time = unset_date;
    pvd.application_use = application_use;
    encode_primary_volume_descriptor(s, pvd);
}

void encode_set_terminator(MutableByteView s) {
    std::fill(s.begin(), s.end(), std::byte{0});
    put_u8(s, 0, 255);
    put_text(s, 1, 5, "CD001");
    put_u8(s, 6, 1);
}

std::vector<std::byte> encode_path_table(const Plan& plan, bool big_endian) {
    std::vector<std::byte> table(std::size_t{plan.path_table_sectors} * kSectorSize);
    const auto order = big_endian ? PathTableOrder::TypeM : PathTableOrder::TypeL;
    std::size_t off = 0;
    for (const auto& dir : plan.directories) {
        PathTableRecord record;
        record.extent = dir.sector;
        record.parent_number = static_cast<std::uint16_t>(dir.parent + 1);
        record.identifier = dir.name.empty() ? text_bytes(std::string_view("\0", 1)) : text_bytes(dir.name);
        off += encode_path_table_record(table, off, record, order);
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
