#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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
    std::string application_use = "CD-XA001";  // empty: a PS2 DVD, marked in its UDF volume descriptor
    std::uint32_t optional_path_table_sector = 19;
    std::vector<HandDirectory> directories = {{"", 1, 20}};  // the root first
    std::vector<std::byte> bytes() const;
};

// A bare File Entry carrying both markers and its short_ad.
void put_file_entry(std::vector<std::byte>& image, std::uint32_t sector, std::uint32_t tag_location,
                    std::uint32_t extent_position, std::uint32_t extent_length = 2048);

std::vector<std::byte> as_bytes(const std::string& text);
// The type L path table of these directories, in their order.
std::vector<std::byte> path_table(const std::vector<HandDirectory>& directories);

} // namespace isorelink::test
