#include "kit/udf_structures.h"

#include <algorithm>
#include <array>

#include "format/sector.h"
#include "format/udf/layout.h"
#include "format/udf/allocation_descriptor.h"
#include "format/udf/anchor.h"
#include "format/udf/file_entry.h"
#include "format/udf/file_identifier.h"
#include "format/udf/file_set_descriptor.h"
#include "format/udf/partition_descriptor.h"
#include "format/udf/tag.h"

namespace isorelink::kit {

namespace {

// Field offsets the kit writes beyond those the jobs read (udf_layout.h).
namespace pvd {
inline constexpr std::size_t kNumber = 20, kVolumeId = 24, kSequenceNumber = 56, kMaxSequenceNumber = 58,
                             kInterchangeLevel = 60, kMaxInterchangeLevel = 62, kCharsetList = 64,
                             kMaxCharsetList = 68, kVolumeSetId = 72, kDescriptorCharset = 200,
                             kExplanatoryCharset = 264, kRecordingTime = 376, kSize = 512;
}
namespace iuvd {
inline constexpr std::size_t kIdentifier = 20, kCharset = 52, kVolumeId = 116, kImplementationId = 352, kSize = 512;
}
namespace lvd {
inline constexpr std::size_t kCharset = 20, kVolumeId = 84, kBlockSize = 212, kDomainId = 216, kFileSetLocation = 248,
                             kMapTableLength = 264, kMapCount = 268, kImplementationId = 272,
                             kIntegrityExtent = 432, kPartitionMaps = 440, kSize = 446;
}
namespace usd {
inline constexpr std::size_t kSize = 24;
}
namespace td {
inline constexpr std::size_t kSize = 512;
}
namespace lvid {
inline constexpr std::size_t kRecordingTime = 16, kIntegrityType = 28, kNextUniqueId = 40, kPartitionCount = 72,
                             kImplementationUseLength = 76, kFreeSpaceTable = 80, kSizeTable = 84,
                             kImplementationUse = 88, kImplementationUseSize = 46;
}
namespace ea {
inline constexpr std::size_t kHeaderSize = 24, kFreeSpace = 24, kCgms = 76;
inline constexpr std::size_t kType = 0, kSubtype = 4, kLength = 8, kUseLength = 12, kIdentifier = 16, kUse = 48;
}

constexpr std::string_view kGenerator = "DVD-ROM GENERATOR";
constexpr std::string_view kDomain = "*OSTA UDF Compliant";
constexpr std::uint8_t kUdfRevision[2] = {0x02, 0x01};  // 0x0102, little-endian

void put_text(MutableByteView b, std::size_t off, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) b[off + i] = static_cast<std::byte>(text[i]);
}

void put_regid(MutableByteView b, std::size_t off, std::string_view identifier, bool udf_suffix) {
    put_u8(b, off, 0);
    put_text(b, off + 1, identifier);
    if (udf_suffix) {
        put_u8(b, off + 24, kUdfRevision[0]);
        put_u8(b, off + 25, kUdfRevision[1]);
    }
}

std::array<std::byte, udf::kRegidSize> regid(std::string_view identifier, bool udf_suffix) {
    std::array<std::byte, udf::kRegidSize> bytes{};
    put_regid(bytes, 0, identifier, udf_suffix);
    return bytes;
}

void put_charset(MutableByteView b, std::size_t off) {
    put_u8(b, off, 0);
    put_text(b, off + 1, "OSTA Compressed Unicode");
}

void put_dstring(MutableByteView b, std::size_t off, std::size_t width, std::string_view text) {
    text = text.substr(0, std::min(text.size(), width - 2));
    if (text.empty()) return;
    put_u8(b, off, 8);
    put_text(b, off + 1, text);
    put_u8(b, off + width - 1, static_cast<std::uint8_t>(text.size() + 1));
}

std::array<std::byte, udf::kCharspecSize> charspec() {
    std::array<std::byte, udf::kCharspecSize> bytes{};
    put_charset(bytes, 0);
    return bytes;
}

template <std::size_t Width>
std::array<std::byte, Width> dstring(std::string_view text) {
    std::array<std::byte, Width> bytes{};
    put_dstring(bytes, 0, Width, text);
    return bytes;
}

// 2004-06-15 12:00:00, local time at offset 0.
void put_timestamp(MutableByteView b, std::size_t off) {
    put_le16(b, off, 0x1000);
    put_le16(b, off + 2, 2004);
    const std::uint8_t rest[8] = {6, 15, 12, 0, 0, 0, 0, 0};
    for (std::size_t i = 0; i < 8; ++i) put_u8(b, off + 4 + i, rest[i]);
}

std::array<std::byte, udf::kTimestampSize> timestamp() {
    std::array<std::byte, udf::kTimestampSize> bytes{};
    put_timestamp(bytes, 0);
    return bytes;
}

void put_long_ad(MutableByteView b, std::size_t off, std::uint32_t length, std::uint32_t block) {
    put_le32(b, off, length);
    put_le32(b, off + 4, block);
    put_le16(b, off + 8, 0);
}

using udf::put_tag;

void seal(MutableByteView b, std::size_t descriptor_size) {
    udf::seal_tag(b, static_cast<std::uint16_t>(descriptor_size - udf::tag::kSize));
}

MutableByteView sector_at(std::vector<std::byte>& bytes, std::size_t index) {
    return MutableByteView(bytes).subspan(index * kSectorSize, kSectorSize);
}

void encode_terminator(MutableByteView s, std::uint32_t location) {
    put_tag(s, udf::kTerminatingDescriptor, location);
    seal(s, td::kSize);
}

// An implementation-use extended attribute with its 16-bit header checksum.
void put_implementation_attribute(MutableByteView b, std::size_t off, std::uint32_t length, std::uint32_t use_length,
                                  std::string_view identifier) {
    put_le32(b, off + ea::kType, 2048);
    put_u8(b, off + ea::kSubtype, 1);
    put_le32(b, off + ea::kLength, length);
    put_le32(b, off + ea::kUseLength, use_length);
    put_regid(b, off + ea::kIdentifier, identifier, true);
    unsigned sum = 0;
    for (std::size_t i = 0; i < ea::kUse; ++i) sum += u8(b, off + i);
    put_le16(b, off + ea::kUse, static_cast<std::uint16_t>(sum));
}

// The entry's extended attributes: their header and two implementation-use attributes.
void encode_extended_attributes(MutableByteView attrs, std::uint32_t block) {
    put_tag(attrs, udf::kExtendedAttributeHeaderDescriptor, block);
    put_le32(attrs, 16, ea::kFreeSpace);                   // implementation attributes location
    put_le32(attrs, 20, udf::fe::kExtendedAttributesSize);  // application attributes: none
    seal(attrs, ea::kHeaderSize);
    put_implementation_attribute(attrs, ea::kFreeSpace, 52, 4, "*UDF FreeEASpace");
    put_implementation_attribute(attrs, ea::kCgms, 56, 8, "*UDF DVD CGMS Info");
}

} // namespace

void encode_recognition_sector(MutableByteView s, std::string_view identifier) {
    std::fill(s.begin(), s.end(), std::byte{0});
    put_u8(s, 0, 0);
    put_text(s, 1, identifier);
    put_u8(s, 6, 1);
}

std::vector<std::byte> encode_volume_descriptor_sequence(const ImageRecipe& recipe, const Plan& plan,
                                                         std::uint32_t first_sector) {
    std::vector<std::byte> bytes(6 * std::size_t{kSectorSize});

    auto s = sector_at(bytes, 0);
    put_tag(s, udf::kPrimaryVolumeDescriptor, first_sector);
    put_le32(s, udf::vds::kSequenceNumber, 0);
    put_le32(s, pvd::kNumber, 0);
    put_dstring(s, pvd::kVolumeId, 32, recipe.volume_id);
    put_le16(s, pvd::kSequenceNumber, 1);
    put_le16(s, pvd::kMaxSequenceNumber, 1);
    put_le16(s, pvd::kInterchangeLevel, 2);
    put_le16(s, pvd::kMaxInterchangeLevel, 2);
    put_le32(s, pvd::kCharsetList, 1);
    put_le32(s, pvd::kMaxCharsetList, 1);
    put_dstring(s, pvd::kVolumeSetId, 128, recipe.volume_id);
    put_charset(s, pvd::kDescriptorCharset);
    put_charset(s, pvd::kExplanatoryCharset);
    put_timestamp(s, pvd::kRecordingTime);
    put_regid(s, udf::upvd::kImplementationId, kGenerator, false);
    seal(s, pvd::kSize);

    s = sector_at(bytes, 1);
    put_tag(s, udf::kImplementationUseVolumeDescriptor, first_sector + 1);
    put_le32(s, udf::vds::kSequenceNumber, 1);
    put_regid(s, iuvd::kIdentifier, "*UDF LV Info", true);
    put_charset(s, iuvd::kCharset);
    put_dstring(s, iuvd::kVolumeId, 128, recipe.volume_id);
    put_regid(s, iuvd::kImplementationId, kGenerator, false);
    seal(s, iuvd::kSize);

    const auto contents = regid("+NSR02", false);
    const auto generator = regid(kGenerator, false);
    udf::PartitionDescriptor partition;
    partition.sequence_number = 2;
    partition.contents = contents;
    partition.starting_location = plan.partition_start;
    partition.length = plan.partition_length();
    partition.implementation_id = generator;
    udf::encode_partition_descriptor(sector_at(bytes, 2), first_sector + 2, partition);

    s = sector_at(bytes, 3);
    put_tag(s, udf::kLogicalVolumeDescriptor, first_sector + 3);
    put_le32(s, udf::vds::kSequenceNumber, 3);
    put_charset(s, lvd::kCharset);
    put_dstring(s, lvd::kVolumeId, 128, recipe.volume_id);
    put_le32(s, lvd::kBlockSize, kSectorSize);
    put_regid(s, lvd::kDomainId, kDomain, true);
    put_long_ad(s, lvd::kFileSetLocation, kSectorSize, 0);
    put_le32(s, lvd::kMapTableLength, 6);
    put_le32(s, lvd::kMapCount, 1);
    put_regid(s, lvd::kImplementationId, kGenerator, false);
    put_le32(s, lvd::kIntegrityExtent, 2 * kSectorSize);
    put_le32(s, lvd::kIntegrityExtent + 4, 64);
    put_u8(s, lvd::kPartitionMaps, 1);
    put_u8(s, lvd::kPartitionMaps + 1, 6);
    put_le16(s, lvd::kPartitionMaps + 2, 1);
    put_le16(s, lvd::kPartitionMaps + 4, 0);
    seal(s, lvd::kSize);

    s = sector_at(bytes, 4);
    put_tag(s, udf::kUnallocatedSpaceDescriptor, first_sector + 4);
    put_le32(s, udf::vds::kSequenceNumber, 4);
    seal(s, usd::kSize);

    encode_terminator(sector_at(bytes, 5), first_sector + 5);
    return bytes;
}

std::vector<std::byte> encode_integrity_sequence(const Plan& plan) {
    constexpr std::uint32_t kIntegritySector = 64;
    std::vector<std::byte> bytes(2 * std::size_t{kSectorSize});
    auto s = sector_at(bytes, 0);
    put_tag(s, udf::kLogicalVolumeIntegrityDescriptor, kIntegritySector);
    put_timestamp(s, lvid::kRecordingTime);
    put_le32(s, lvid::kIntegrityType, 1);
    put_le64(s, lvid::kNextUniqueId, 16 + plan.directories.size() + plan.files.size());
    put_le32(s, lvid::kPartitionCount, 1);
    put_le32(s, lvid::kImplementationUseLength, lvid::kImplementationUseSize);
    put_le32(s, lvid::kFreeSpaceTable, 0);
    put_le32(s, lvid::kSizeTable, plan.partition_length());
    const std::size_t use = lvid::kImplementationUse;
    put_regid(s, use, kGenerator, false);
    put_le32(s, use + 32, static_cast<std::uint32_t>(plan.files.size()));
    put_le32(s, use + 36, static_cast<std::uint32_t>(plan.directories.size()));
    put_le16(s, use + 40, 0x0102);
    put_le16(s, use + 42, 0x0102);
    put_le16(s, use + 44, 0x0102);
    seal(s, use + lvid::kImplementationUseSize);
    encode_terminator(sector_at(bytes, 1), kIntegritySector + 1);
    return bytes;
}

void encode_anchor(MutableByteView s, std::uint32_t location) { udf::encode_anchor(s, location); }

std::vector<std::byte> encode_file_set(const ImageRecipe& recipe, const Plan& plan) {
    std::vector<std::byte> bytes(2 * std::size_t{kSectorSize});
    const auto recorded = timestamp();
    const auto charset = charspec();
    const auto volume_id = dstring<128>(recipe.volume_id);
    const auto file_set_id = dstring<32>(recipe.volume_id);
    const auto domain = regid(kDomain, true);
    udf::FileSetDescriptor fsd;
    fsd.recording_time = recorded;
    fsd.logical_volume_id_charset = charset;
    fsd.logical_volume_id = volume_id;
    fsd.file_set_charset = charset;
    fsd.file_set_id = file_set_id;
    fsd.root_icb = {recipe.icb_length, plan.directories.front().entry_sector - plan.partition_start, 0};
    fsd.domain_id = domain;
    udf::encode_file_set_descriptor(sector_at(bytes, 0), 0, fsd);
    encode_terminator(sector_at(bytes, 1), 1);
    return bytes;
}

std::vector<std::byte> encode_identifiers(const ImageRecipe& recipe, const Plan& plan, std::size_t directory) {
    const auto& dir = plan.directories[directory];
    std::vector<std::byte> bytes(sectors_to_hold(dir.fid_bytes) * kSectorSize);
    MutableByteView b(bytes);
    const std::uint32_t first_block = dir.fid_sector - plan.partition_start;
    std::size_t off = 0;
    std::vector<std::byte> identifier;
    const auto put_fid = [&](std::uint8_t characteristics, std::string_view name, std::uint32_t entry_sector) {
        identifier.clear();
        if (!name.empty()) {
            identifier.push_back(std::byte{8});
            for (const char c : name) identifier.push_back(static_cast<std::byte>(c));
        }
        udf::FileIdentifier fid;
        fid.characteristics = characteristics;
        fid.icb = {recipe.icb_length, entry_sector - plan.partition_start, 0};
        fid.identifier = identifier;
        udf::encode_file_identifier(b.subspan(off), first_block + static_cast<std::uint32_t>(off / kSectorSize), fid);
        off += fid.size();
    };
    put_fid(udf::fid::kDirectory | udf::fid::kParent, {}, plan.directories[dir.parent].entry_sector);
    for (const auto& child : dir.children) {
        if (child.is_directory) {
            const auto& sub = plan.directories[child.index];
            put_fid(udf::fid::kDirectory, sub.name, sub.entry_sector);
        } else {
            const auto& file = plan.files[child.index];
            const bool hidden = (file.pieces.back().flags & 0x01) != 0;
            put_fid(hidden ? udf::fid::kHidden : 0, file.name, file.entry_sector);
        }
    }
    return bytes;
}

void encode_file_entry(MutableByteView s, const EntryContent& e) {
    std::array<std::byte, udf::fe::kExtendedAttributesSize> attributes{};
    encode_extended_attributes(attributes, e.block);
    std::vector<std::byte> descriptors(e.extents.size() * udf::short_ad::kSize);
    std::uint64_t blocks = 0;
    for (std::size_t i = 0; i < e.extents.size(); ++i) {
        const auto& [length, position] = e.extents[i];
        udf::encode_short_ad(descriptors, i * udf::short_ad::kSize, {length, position});
        blocks += sectors_to_hold(length);
    }
    const auto recorded = timestamp();
    const auto generator = regid(kGenerator, false);
    udf::UdfFileEntry entry;
    entry.icb_tag.file_type = e.directory ? udf::icb::kFileTypeDirectory : udf::icb::kFileTypeFile;
    entry.icb_tag.flags = 0x0630;
    entry.permissions = 0x14A5;
    entry.link_count = e.link_count;
    entry.information_length = e.information_length;
    entry.logical_blocks_recorded = blocks;
    entry.access_time = recorded;
    entry.modification_time = recorded;
    entry.attribute_time = recorded;
    entry.implementation_id = generator;
    entry.unique_id = e.unique_id;
    entry.extended_attributes = attributes;
    entry.allocation_descriptors = descriptors;
    udf::encode_file_entry(s, e.block, entry);
}

EntryContent directory_entry(const Plan& plan, std::size_t directory) {
    const auto& dir = plan.directories[directory];
    EntryContent e;
    e.block = dir.entry_sector - plan.partition_start;
    e.directory = true;
    e.link_count = static_cast<std::uint16_t>(std::min<std::uint32_t>(1 + dir.subdirectories, 0xFFFF));
    e.unique_id = directory == 0 ? 0 : 16 + directory;
    e.information_length = dir.fid_bytes;
    e.extents.emplace_back(dir.fid_bytes, dir.fid_sector - plan.partition_start);
    return e;
}

EntryContent file_entry(const Plan& plan, std::size_t file) {
    const auto& f = plan.files[file];
    EntryContent e;
    e.block = f.entry_sector - plan.partition_start;
    e.unique_id = 16 + plan.directories.size() + file;
    for (const auto& piece : f.pieces) {
        e.information_length += piece.size;
        e.extents.emplace_back(piece.size, piece.sector - plan.partition_start);
    }
    return e;
}

} // namespace isorelink::kit
