#include "rebuild/hand_image.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "format/endian.h"
#include "format/udf/layout.h"
#include "format/udf/tag.h"

namespace isorelink::test {

// A descriptor tagged `identifier` at `sector` (tag location `location`); `fill` adds its fields, then it is sealed.
template <typename Fill>
void put_descriptor(const std::string& path, std::uint32_t sector, std::uint32_t location, std::uint16_t identifier,
                    std::uint16_t crc_length, Fill fill) {
    std::vector<std::byte> d(2048);
    put_le16(d, udf::tag::kIdentifier, identifier);
    put_le32(d, udf::tag::kLocation, location);
    fill(d);
    udf::seal_tag(d, crc_length);
    put_bytes(path, std::uint64_t{sector} * 2048, d);
}

void write_hand_image(const std::string& path, const HandImage& image) {
    { std::ofstream create(path, std::ios::binary | std::ios::trunc); }
    std::filesystem::resize_file(path, image.bytes);
    put_bytes(path, 32768, hex_bytes("01 43 44 30 30 31 01"));
    put_bytes(path, 32776, text_bytes(image.kind == ImageKind::PspUmd ? "PSP GAME" : "PLAYSTATION"));
    if (image.kind != ImageKind::Ps2Dvd) put_bytes(path, 33792, text_bytes("CD-XA001"));
    std::vector<std::byte> size(8);
    put_both32(size, 0, image.recorded_sectors);
    put_bytes(path, 32848, size);
    if (image.kind != ImageKind::Ps2Dvd) return;

    put_bytes(path, std::uint64_t{image.partition_start} * 2048 + 48,
              text_bytes(std::string_view("\0OSTA Compressed Unicode", 24)));
    for (std::uint32_t sector : {34u, 50u})
        put_descriptor(path, sector, sector, udf::kPartitionDescriptor, 496, [&](auto& pd) {
            put_le32(pd, udf::pd::kStartingLocation, image.partition_start);
            put_le32(pd, udf::pd::kLength, image.partition_length);
        });
    for (std::uint32_t sector : image.entry_sectors)
        put_descriptor(path, sector, sector - image.partition_start, udf::kFileEntry, 300, [](auto&) {});
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
