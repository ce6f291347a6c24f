#include "support/hand_image.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "format/endian.h"
#include "format/iso9660/directory_record.h"
#include "format/iso9660/layout.h"
#include "format/iso9660/path_table_record.h"
#include "format/sector.h"
#include "format/udf/layout.h"
#include "format/udf/tag.h"
#include "read/descriptor_anchor_scan.h"

namespace isorelink::test {

namespace {

// A descriptor tagged `identifier` at `sector` (tag location `location`), sealed over `crc_length` bytes once
// `fill` has added its fields.
template <typename Fill>
void put_descriptor(std::vector<std::byte>& image, std::uint32_t sector, std::uint32_t location,
                    std::uint16_t identifier, std::uint16_t crc_length, Fill fill) {
    const MutableByteView d = MutableByteView(image).subspan(sector_offset(sector), kSectorSize);
    put_le16(d, udf::tag::kIdentifier, identifier);
    put_le32(d, udf::tag::kLocation, location);
    fill(d);
    udf::seal_tag(d, crc_length);
}

// The image up to its last structure.
std::vector<std::byte> head(const HandImage& hand) {
    const bool partition = hand.kind == ImageKind::Ps2Dvd && hand.partition_length != 0;
    std::uint64_t sectors = 40;
    if (partition) sectors = std::max<std::uint64_t>(sectors, hand.partition_start + 1);
    for (const std::uint32_t sector : hand.entry_sectors) sectors = std::max<std::uint64_t>(sectors, sector + 1);
    std::vector<std::byte> image(sector_offset(sectors));

    const std::size_t pvd = iso::kPrimaryDescriptorOffset;
    put_u8(image, pvd, 1);
    put_bytes(image, pvd + iso::pvd::kStandardId, text_bytes("CD001"));
    put_u8(image, pvd + iso::pvd::kVersion, 1);
    const char* system = hand.kind == ImageKind::PspUmd ? "PSP GAME" : "PLAYSTATION";
    put_bytes(image, pvd + iso::pvd::kSystemId, text_bytes(system));
    put_both32(image, pvd + iso::pvd::kVolumeSpaceSize, hand.volume_sectors);
    if (hand.kind == ImageKind::Ps2Dvd) put_bytes(image, udf::kDvdSignatureOffset, text_bytes("DVD"));
    else put_bytes(image, pvd + iso::pvd::kXaSignature, text_bytes("CD-XA001"));

    const auto table = path_table(hand.directories);
    put_le32(image, pvd + iso::pvd::kPathTableSize, static_cast<std::uint32_t>(table.size()));
    put_le32(image, pvd + iso::pvd::kTypeLPathTable, 18);
    put_le32(image, pvd + iso::pvd::kOptionalTypeLPathTable, hand.optional_path_table_sector);
    put_bytes(image, sector_offset(18), table);
    for (const auto& directory : hand.directories) {
        const auto& parent = hand.directories.at(directory.parent - 1);
        std::vector<std::byte> records;
        encode_directory_record(records, directory.sector, directory.size, iso::dr::kFlagDirectory,
                                std::vector<std::byte>{std::byte{0}});
        encode_directory_record(records, parent.sector, parent.size, iso::dr::kFlagDirectory,
                                std::vector<std::byte>{std::byte{1}});
        for (const auto& file : directory.files)
            encode_directory_record(records, file.sector, file.size, file.flags, text_bytes(file.identifier));
        put_bytes(image, sector_offset(directory.sector), records);
    }
    if (!partition) return image;

    put_bytes(image, sector_offset(hand.partition_start) + udf::fsd::kLogicalVolumeIdCharset,
        text_bytes(std::string_view("\0OSTA Compressed Unicode", 24)));
    for (const std::uint32_t sector : {34u, 50u})
        put_descriptor(image, sector, sector, udf::kPartitionDescriptor, 496, [&](MutableByteView pd) {
            put_le32(pd, udf::pd::kStartingLocation, hand.partition_start);
            put_le32(pd, udf::pd::kLength, hand.partition_length);
        });
    for (const std::uint32_t sector : hand.entry_sectors)
        put_descriptor(image, sector, sector - hand.partition_start, udf::kFileEntry, 300, [](MutableByteView entry) {
            // The console's lengths: 132 bytes of extended attributes, one short_ad at 308.
            put_le32(entry, udf::fe::kExtendedAttributesLength, udf::fe::kExtendedAttributesSize);
            put_le32(entry, udf::fe::kAllocationDescriptorsLength, udf::short_ad::kSize);
        });
    return image;
}

} // namespace

std::vector<std::byte> path_table(const std::vector<HandDirectory>& directories) {
    std::vector<std::byte> table;
    for (const auto& directory : directories) {
        const auto identifier = directory.identifier.empty() ? std::vector<std::byte>{std::byte{0}}
                                                             : text_bytes(directory.identifier);
        encode_path_table_record(table, directory.sector, directory.parent, identifier);
    }
    return table;
}

std::vector<std::byte> HandImage::bytes() const {
    auto image = head(*this);
    image.resize(size);
    return image;
}

void HandImage::write(const std::string& path) const {
    auto image = head(*this);
    if (image.size() > size) image.resize(size);
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    std::filesystem::resize_file(path, size);
}

void put_bytes(std::vector<std::byte>& image, std::uint64_t offset, const std::vector<std::byte>& bytes) {
    std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<std::ptrdiff_t>(offset));
}

void put_file_entry(std::vector<std::byte>& image, std::uint32_t sector, std::uint32_t tag_location,
                    std::uint32_t extent_position, std::uint32_t extent_length) {
    const std::size_t at = sector_offset(sector);
    put_le32(image, at, udf::kFileEntryTagWord);
    put_le32(image, at + udf::tag::kLocation, tag_location);
    std::copy(kIdentifierMarker.begin(), kIdentifierMarker.end(), image.begin() + at + udf::fe::kImplementationId);
    std::copy(kAttributeMarker.begin(), kAttributeMarker.end(), image.begin() + at + udf::fe::kAttributeMarker);
    // The lengths that put the short_ad where the console's entries hold it.
    put_le32(image, at + udf::fe::kExtendedAttributesLength, udf::fe::kExtendedAttributesSize);
    put_le32(image, at + udf::fe::kAllocationDescriptorsLength, udf::short_ad::kSize);
    put_le32(image, at + udf::fe::kShortAllocationDescriptor + udf::short_ad::kExtentLength, extent_length);
    put_le32(image, at + udf::fe::kShortAllocationDescriptor + udf::short_ad::kExtentPosition, extent_position);
}

std::vector<std::byte> bytes_at(const std::string& path, std::uint64_t offset, std::size_t count) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::vector<std::byte> out(count);
    in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(count));
    out.resize(static_cast<std::size_t>(in.gcount()));
    return out;
}

void put_bytes(const std::string& path, std::uint64_t offset, const std::vector<std::byte>& bytes) {
    std::fstream io(path, std::ios::binary | std::ios::in | std::ios::out);
    io.seekp(static_cast<std::streamoff>(offset));
    io.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::byte> hex_bytes(const std::string& hex) {
    std::istringstream in(hex);
    std::vector<std::byte> out;
    for (unsigned value = 0; in >> std::hex >> value;) out.push_back(static_cast<std::byte>(value));
    return out;
}

} // namespace isorelink::test
