#include "rebuild/hand_image.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/endian.h"
#include "common/udf_layout.h"
#include "common/udf_tag.h"

namespace isorelink::test {

namespace {

std::vector<std::byte> text_bytes(std::string_view text) {
    std::vector<std::byte> out;
    for (char c : text) out.push_back(static_cast<std::byte>(c));
    return out;
}

std::vector<std::byte> sealed_descriptor(std::uint16_t identifier, std::uint32_t sector, std::uint16_t crc_length) {
    std::vector<std::byte> d(2048);
    put_le16(d, udf::tag::kIdentifier, identifier);
    put_le16(d, udf::tag::kVersion, udf::kDescriptorVersion);
    put_le32(d, udf::tag::kLocation, sector);
    udf::seal_tag(d, crc_length);
    return d;
}

} // namespace

void write_hand_image(const std::string& path, const HandImage& image) {
    { std::ofstream create(path, std::ios::binary | std::ios::trunc); }
    std::filesystem::resize_file(path, image.bytes);
    const bool cd_xa = image.kind != ImageKind::Ps2Dvd;
    put_bytes(path, 32768, hex_bytes("01 43 44 30 30 31 01"));
    put_bytes(path, 32776, text_bytes(image.kind == ImageKind::PspUmd ? "PSP GAME" : "PLAYSTATION"));
    if (cd_xa) put_bytes(path, 33792, text_bytes("CD-XA001"));
    std::vector<std::byte> size(8);
    put_both32(size, 0, image.recorded_sectors);
    put_bytes(path, 32848, size);
    if (image.kind != ImageKind::Ps2Dvd) return;

    std::vector<std::byte> charset = text_bytes(std::string_view("\0OSTA Compressed Unicode", 24));
    put_bytes(path, std::uint64_t{image.partition_start} * 2048 + 48, charset);
    for (std::uint32_t sector : {34u, 50u}) {
        auto pd = std::vector<std::byte>(2048);
        put_le16(pd, udf::tag::kIdentifier, udf::kPartitionDescriptor);
        put_le16(pd, udf::tag::kVersion, udf::kDescriptorVersion);
        put_le32(pd, udf::tag::kLocation, sector);
        put_le32(pd, udf::pd::kStartingLocation, image.partition_start);
        put_le32(pd, udf::pd::kLength, image.partition_length);
        udf::seal_tag(pd, 496);
        put_bytes(path, std::uint64_t{sector} * 2048, pd);
        put_bytes(path, std::uint64_t{sector + 1} * 2048, sealed_descriptor(udf::kTerminatingDescriptor, sector + 1, 496));
    }
    for (std::uint32_t sector : image.entry_sectors) {
        auto fe = std::vector<std::byte>(2048);
        put_le16(fe, udf::tag::kIdentifier, udf::kFileEntry);
        put_le16(fe, udf::tag::kVersion, udf::kDescriptorVersion);
        put_le32(fe, udf::tag::kLocation, sector - image.partition_start);
        put_le32(fe, udf::fe::kInformationLength, 5000);
        put_le64(fe, udf::fe::kLogicalBlocksRecorded, 3);
        put_le32(fe, udf::fe::kExtendedAttributesLength, udf::fe::kExtendedAttributesSize);
        put_le32(fe, udf::fe::kAllocationDescriptorsLength, udf::short_ad::kSize);
        put_le32(fe, udf::fe::kShortAllocationDescriptor, 5000);
        put_le32(fe, udf::fe::kShortAllocationDescriptor + 4, 77);
        udf::seal_tag(fe, 300);
        put_bytes(path, std::uint64_t{sector} * 2048, fe);
    }
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
    unsigned value = 0;
    while (in >> std::hex >> value) out.push_back(static_cast<std::byte>(value));
    return out;
}

std::uint64_t length_of(const std::string& path) { return std::filesystem::file_size(path); }

std::vector<std::size_t> changed_offsets(const std::vector<std::byte>& before, const std::vector<std::byte>& after) {
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < before.size() && i < after.size(); ++i)
        if (before[i] != after[i]) out.push_back(i);
    return out;
}

} // namespace isorelink::test
