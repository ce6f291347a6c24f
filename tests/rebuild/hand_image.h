#pragma once
// Hand-built new images for the rebuild tests: sparse files that hold only
// what the rebuild reads (the kind bytes, the recorded volume size and, for a
// PS2 DVD, the File Set Descriptor's charset, partition descriptors and File
// Entries). Recipe: a sparse file of `bytes`, then the fields below.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/image_kind.h"

namespace isorelink::test {

struct HandImage {
    ImageKind kind = ImageKind::Ps2Cd;
    std::uint64_t bytes = 100 * 2048;
    std::uint32_t recorded_sectors = 100;
    // PS2 DVD: 0x00 "OSTA Compressed" at P * 2048 + 48, partition descriptors
    // (start P) at sectors 34 and 50, terminating descriptors at 35 and 51.
    std::uint32_t partition_start = 257;
    std::uint32_t partition_length = 0;
    // PS2 DVD: File Entries (tag 261, CRC length 300, sealed) at these sectors.
    std::vector<std::uint32_t> entry_sectors;
};

// An image of a kind, a length and a recorded size, with nothing else in it.
inline HandImage plain_image(ImageKind kind, std::uint64_t bytes, std::uint32_t recorded_sectors) {
    HandImage image;
    image.kind = kind;
    image.bytes = bytes;
    image.recorded_sectors = recorded_sectors;
    return image;
}

void write_hand_image(const std::string& path, const HandImage& image);

// Bytes of a file at an offset (short at its end).
std::vector<std::byte> bytes_at(const std::string& path, std::uint64_t offset, std::size_t count);
void put_bytes(const std::string& path, std::uint64_t offset, const std::vector<std::byte>& bytes);
std::vector<std::byte> hex_bytes(const std::string& hex);  // "30 01 00 00"
std::uint64_t length_of(const std::string& path);

// Offsets at which two equal-length byte strings differ.
std::vector<std::size_t> changed_offsets(const std::vector<std::byte>& before, const std::vector<std::byte>& after);

} // namespace isorelink::test
