#include "kit/udf_structures.h"

#include <algorithm>

#include "format/sector.h"
#include "format/udf/layout.h"
#include "format/udf/tag.h"

namespace isorelink::kit {

namespace {

// Field offsets the kit writes beyond those the jobs read (udf_layout.h).
namespace vds {
inline constexpr std::size_t kSequenceNumber = 16;
}
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
namespace fsd {
inline constexpr std::size_t kRecordingTime = 16, kInterchangeLevel = 28, kMaxInterchangeLevel = 30,
                             kCharsetList = 32, kMaxCharsetList = 36, kVolumeId = 112, kFileSetCharset = 240,
                             kFileSetId = 304, kRootIcb = 400, kDomainId = 416, kSize = 512;
}
namespace fid {
inline constexpr std::size_t kVersion = 16, kCharacteristics = 18, kIdentifierLength = 19, kIcb = 20,
                             kImplementationUseLength = 36, kIdentifier = 38;
inline constexpr std::uint8_t kHidden = 0x01, kDirectory = 0x02, kParent = 0x08;
}
namespace entry {
inline constexpr std::size_t kUid = 36, kGid = 40, kPermissions = 44, kLinkCount = 48, kAccessTime = 72,
                             kModificationTime = 84, kAttributeTime = 96, kCheckpoint = 108, kUniqueId = 160;
}
namespace icb {
inline constexpr std::size_t kStrategy = 4, kMaxEntries = 8, kFileType = 11, kFlags = 18;
inline constexpr std::uint8_t kDirectory = 4, kFile = 5;
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

// 2004-06-15 12:00:00, local time at offset 0.
void put_timestamp(MutableByteView b, std::size_t off) {
    put_le16(b, off, 0x1000);
    put_le16(b, off + 2, 2004);
    const std::uint8_t rest[8] = {6, 15, 12, 0, 0, 0, 0, 0};
    for (std::size_t i = 0; i < 8; ++i) put_u8(b, off + 4 + i, rest[i]);
}

void put_long_ad(MutableByteView b, std::size_t off, std::uint32_t length, std::uint32_t block) {
    put_le32(b, off, length);
    put_le32(b, off + 4, block);
    put_le16(b, off + 8, 0);
}

void put_tag(MutableByteView b, std::uint16_t identifier, std::uint32_t location) {
    put_le16(b, udf::tag::kIdentifier, identifier);
    put_le16(b, udf::tag::kVersion, udf::kDescriptorVersion);
    put_le32(b, udf::tag::kLocation, location);
}

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

void encode_extended_attributes(MutableByteView b, std::uint32_t block) {
    const auto attrs = b.subspan(udf::fe::kExtendedAttributes, udf::fe::kExtendedAttributesSize);
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
    put_le32(s, vds::kSequenceNumber, 0);
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
    put_le32(s, vds::kSequenceNumber, 1);
    put_regid(s, iuvd::kIdentifier, "*UDF LV Info", true);
    put_charset(s, iuvd::kCharset);
    put_dstring(s, iuvd::kVolumeId, 128, recipe.volume_id);
    put_regid(s, iuvd::kImplementationId, kGenerator, false);
    seal(s, iuvd::kSize);

    s = sector_at(bytes, 2);
    put_tag(s, udf::kPartitionDescriptor, first_sector + 2);
    put_le32(s, vds::kSequenceNumber, 2);
    put_le16(s, udf::pd::kFlags, 1);
    put_le16(s, udf::pd::kPartitionNumber, 0);
    put_regid(s, udf::pd::kContents, "+NSR02", false);
    put_le32(s, udf::pd::kAccessType, 1);
    put_le32(s, udf::pd::kStartingLocation, plan.partition_start);
    put_le32(s, udf::pd::kLength, plan.partition_length());
    put_regid(s, udf::pd::kImplementationId, kGenerator, false);
    seal(s, 512);

    s = sector_at(bytes, 3);
    put_tag(s, udf::kLogicalVolumeDescriptor, first_sector + 3);
    put_le32(s, vds::kSequenceNumber, 3);
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
    put_le32(s, vds::kSequenceNumber, 4);
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

void encode_anchor(MutableByteView s, std::uint32_t location) {
    std::fill(s.begin(), s.end(), std::byte{0});
    put_tag(s, udf::kAnchorVolumeDescriptorPointer, location);
    put_le32(s, udf::avdp::kMainSequenceLength, udf::avdp::kSequenceLength);
    put_le32(s, udf::avdp::kMainSequenceLocation, udf::avdp::kMainSequenceSector);
    put_le32(s, udf::avdp::kReserveSequenceLength, udf::avdp::kSequenceLength);
    put_le32(s, udf::avdp::kReserveSequenceLocation, udf::avdp::kReserveSequenceSector);
    udf::seal_tag(s, udf::avdp::kCrcLength);
}

std::vector<std::byte> encode_file_set(const ImageRecipe& recipe, const Plan& plan) {
    std::vector<std::byte> bytes(2 * std::size_t{kSectorSize});
    auto s = sector_at(bytes, 0);
    put_tag(s, udf::kFileSetDescriptor, 0);
    put_timestamp(s, fsd::kRecordingTime);
    put_le16(s, fsd::kInterchangeLevel, 3);
    put_le16(s, fsd::kMaxInterchangeLevel, 3);
    put_le32(s, fsd::kCharsetList, 1);
    put_le32(s, fsd::kMaxCharsetList, 1);
    put_charset(s, udf::fsd::kLogicalVolumeIdCharset);
    put_dstring(s, fsd::kVolumeId, 128, recipe.volume_id);
    put_charset(s, fsd::kFileSetCharset);
    put_dstring(s, fsd::kFileSetId, 32, recipe.volume_id);
    put_long_ad(s, fsd::kRootIcb, recipe.icb_length, plan.directories.front().entry_sector - plan.partition_start);
    put_regid(s, fsd::kDomainId, kDomain, true);
    seal(s, fsd::kSize);
    encode_terminator(sector_at(bytes, 1), 1);
    return bytes;
}

std::vector<std::byte> encode_identifiers(const ImageRecipe& recipe, const Plan& plan, std::size_t directory) {
    const auto& dir = plan.directories[directory];
    std::vector<std::byte> bytes(sectors_to_hold(dir.fid_bytes) * kSectorSize);
    MutableByteView b(bytes);
    const std::uint32_t first_block = dir.fid_sector - plan.partition_start;
    std::size_t off = 0;
    const auto put_fid = [&](std::uint8_t characteristics, std::string_view name, std::uint32_t entry_sector) {
        const std::uint32_t size = fid_size(name.size());
        auto d = b.subspan(off, size);
        put_tag(d, udf::kFileIdentifierDescriptor, first_block + static_cast<std::uint32_t>(off / kSectorSize));
        put_le16(d, fid::kVersion, 1);
        put_u8(d, fid::kCharacteristics, characteristics);
        put_u8(d, fid::kIdentifierLength, static_cast<std::uint8_t>(name.empty() ? 0 : name.size() + 1));
        put_long_ad(d, fid::kIcb, recipe.icb_length, entry_sector - plan.partition_start);
        put_le16(d, fid::kImplementationUseLength, 0);
        if (!name.empty()) {
            put_u8(d, fid::kIdentifier, 8);
            put_text(d, fid::kIdentifier + 1, name);
        }
        seal(d, size);
        off += size;
    };
    put_fid(fid::kDirectory | fid::kParent, {}, plan.directories[dir.parent].entry_sector);
    for (const auto& child : dir.children) {
        if (child.is_directory) {
            const auto& sub = plan.directories[child.index];
            put_fid(fid::kDirectory, sub.name, sub.entry_sector);
        } else {
            const auto& file = plan.files[child.index];
            const bool hidden = (file.pieces.back().flags & 0x01) != 0;
            put_fid(hidden ? fid::kHidden : 0, file.name, file.entry_sector);
        }
    }
    return bytes;
}

void encode_file_entry(MutableByteView s, const EntryContent& e) {
    std::fill(s.begin(), s.end(), std::byte{0});
    put_tag(s, udf::kFileEntry, e.block);
    const auto icb_tag = s.subspan(udf::fe::kIcbTag, 20);
    put_le16(icb_tag, icb::kStrategy, 4);
    put_le16(icb_tag, icb::kMaxEntries, 1);
    put_u8(icb_tag, icb::kFileType, e.directory ? icb::kDirectory : icb::kFile);
    put_le16(icb_tag, icb::kFlags, 0x0630);
    put_le32(s, entry::kUid, 0xFFFFFFFF);
    put_le32(s, entry::kGid, 0xFFFFFFFF);
    put_le32(s, entry::kPermissions, 0x14A5);
    put_le16(s, entry::kLinkCount, e.link_count);
    put_le64(s, udf::fe::kInformationLength, e.information_length);
    std::uint64_t blocks = 0;
    for (const auto& extent : e.extents) blocks += sectors_to_hold(extent.first);
    put_le64(s, udf::fe::kLogicalBlocksRecorded, blocks);
    put_timestamp(s, entry::kAccessTime);
    put_timestamp(s, entry::kModificationTime);
    put_timestamp(s, entry::kAttributeTime);
    put_le32(s, entry::kCheckpoint, 1);
    put_regid(s, udf::fe::kImplementationId, kGenerator, false);
    put_le64(s, entry::kUniqueId, e.unique_id);
    put_le32(s, udf::fe::kExtendedAttributesLength, udf::fe::kExtendedAttributesSize);
    const auto descriptors = static_cast<std::uint32_t>(e.extents.size() * udf::short_ad::kSize);
    put_le32(s, udf::fe::kAllocationDescriptorsLength, descriptors);
    encode_extended_attributes(s, e.block);
    std::size_t off = udf::fe::kShortAllocationDescriptor;
    for (const auto& [length, position] : e.extents) {
        put_le32(s, off + udf::short_ad::kExtentLength, length);
        put_le32(s, off + udf::short_ad::kExtentPosition, position);
        off += udf::short_ad::kSize;
    }
    seal(s, off);
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
