#include "extract/hand_image.h"

#include "format/endian.h"
#include "format/iso9660/layout.h"
#include "format/sector.h"
#include "format/udf/layout.h"
#include "read/descriptor_anchor_scan.h"
#include "format/iso9660/directory_record.h"
#include "format/iso9660/path_table_record.h"

namespace isorelink::test {

std::vector<std::byte> as_bytes(const std::string& text) {
    std::vector<std::byte> out;
    for (char c : text) out.push_back(static_cast<std::byte>(c));
    return out;
}

static void put_text(std::vector<std::byte>& image, std::size_t offset, const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) image.at(offset + i) = static_cast<std::byte>(text[i]);
}

std::vector<std::byte> path_table(const std::vector<HandDirectory>& directories) {
    std::vector<std::byte> table;
    for (const auto& directory : directories) {
        const auto identifier = directory.identifier.empty() ? std::vector<std::byte>{std::byte{0}}
                                                             : as_bytes(directory.identifier);
        encode_path_table_record(table, directory.sector, directory.parent, identifier);
    }
    return table;
}

std::vector<std::byte> HandImage::bytes() const {
    std::vector<std::byte> image(sector_offset(40));
    const std::size_t pvd = iso::kPrimaryDescriptorOffset;
    image[pvd] = std::byte{1};
    put_text(image, pvd + iso::pvd::kStandardId, "CD001");
    put_text(image, pvd + iso::pvd::kSystemId, "PLAYSTATION");
    put_text(image, pvd + iso::pvd::kXaSignature, application_use);
    if (application_use.empty()) put_text(image, udf::kDvdSignatureOffset, "DVD");

    const auto table = path_table(directories);
    put_le32(image, pvd + iso::pvd::kPathTableSize, static_cast<std::uint32_t>(table.size()));
    put_le32(image, pvd + iso::pvd::kTypeLPathTable, 18);
    put_le32(image, pvd + iso::pvd::kOptionalTypeLPathTable, optional_path_table_sector);
    for (std::size_t i = 0; i < table.size(); ++i) image.at(sector_offset(18) + i) = table[i];

    for (std::size_t d = 0; d < directories.size(); ++d) {
        const auto& directory = directories[d];
        const auto& parent = directories.at(directory.parent - 1);
        std::vector<std::byte> records;
        encode_directory_record(records, directory.sector, directory.size, iso::dr::kFlagDirectory,
                                std::vector<std::byte>{std::byte{0}});
        encode_directory_record(records, parent.sector, parent.size, iso::dr::kFlagDirectory,
                                std::vector<std::byte>{std::byte{1}});
        for (const auto& file : directory.files) {
            encode_directory_record(records, file.sector, file.size, file.flags, as_bytes(file.identifier));
        }
        for (std::size_t i = 0; i < records.size(); ++i) image.at(sector_offset(directory.sector) + i) = records[i];
    }
    return image;
}

void put_file_entry(std::vector<std::byte>& image, std::uint32_t sector, std::uint32_t tag_location,
                    std::uint32_t extent_position, std::uint32_t extent_length) {
    const std::size_t at = sector_offset(sector);
    put_le32(image, at, udf::kFileEntryTagWord);
    put_le32(image, at + udf::tag::kLocation, tag_location);
    for (std::size_t i = 0; i < 16; ++i) {
        image.at(at + udf::fe::kImplementationId + i) = kIdentifierMarker[i];
        image.at(at + udf::fe::kAttributeMarker + i) = kAttributeMarker[i];
    }
    put_le32(image, at + udf::fe::kShortAllocationDescriptor + udf::short_ad::kExtentLength, extent_length);
    put_le32(image, at + udf::fe::kShortAllocationDescriptor + udf::short_ad::kExtentPosition, extent_position);
}

} // namespace isorelink::test
