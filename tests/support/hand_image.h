#pragma once
// Images made by hand, holding only what a job reads: the primary volume
// descriptor, a type L path table and the directories' records, and on a PS2
// DVD the UDF pieces the rebuild edits. Byte helpers for the files they make.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "format/image_kind.h"

namespace isorelink::test {

struct HandFile {
    std::string identifier;
    std::uint32_t sector = 0;
    std::uint32_t size = 0;
    std::uint8_t flags = 0;
};

struct HandDirectory {
    std::string identifier;
    std::uint16_t parent = 1;
    std::uint32_t sector = 0;
    std::uint32_t size = 2048;
    std::vector<HandFile> files = {};
};

struct HandImage {
    // PSP UMD: "PSP GAME" as the system; PS2 DVD: no CD-XA signature, "DVD" in its UDF volume descriptor.
    ImageKind kind = ImageKind::Ps2Cd;
    std::uint64_t size = 40 * 2048;     // bytes
    std::uint32_t volume_sectors = 0;   // the volume space size recorded
    std::uint32_t optional_path_table_sector = 19;
    std::vector<HandDirectory> directories = {{"", 1, 20}};  // the root first; the path table is at 18
    // A PS2 DVD with a partition length also gets the partition descriptors at 34 and 50, the File Set's
    // charset at the partition start and a sealed File Entry at each of `entry_sectors`.
    std::uint32_t partition_start = 257;
    std::uint32_t partition_length = 0;
    std::vector<std::uint32_t> entry_sectors = {};

    std::vector<std::byte> bytes() const;
    // Writes the image; what lies past the last structure stays a hole.
    void write(const std::string& path) const;
};

// A bare File Entry carrying both markers and its short_ad.
void put_file_entry(std::vector<std::byte>& image, std::uint32_t sector, std::uint32_t tag_location,
                    std::uint32_t extent_position, std::uint32_t extent_length = 2048);

// The type L path table of these directories, in their order.
std::vector<std::byte> path_table(const std::vector<HandDirectory>& directories);

void put_bytes(std::vector<std::byte>& image, std::uint64_t offset, const std::vector<std::byte>& bytes);
std::vector<std::byte> bytes_at(const std::string& path, std::uint64_t offset, std::size_t count);
void put_bytes(const std::string& path, std::uint64_t offset, const std::vector<std::byte>& bytes);
std::vector<std::byte> hex_bytes(const std::string& hex);  // "30 01 00 00"
inline std::vector<std::byte> text_bytes(std::string_view t) {
    return {reinterpret_cast<const std::byte*>(t.data()), reinterpret_cast<const std::byte*>(t.data() + t.size())};
}

} // namespace isorelink::test
