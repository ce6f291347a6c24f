#pragma once
// The three products of an extraction, one line or record per file in file
// list order:
//   sector listing  "%08X|%08X|%08X|%08X|%s" (PS2 DVD) or "%08X|%08X|%08X|%s":
//                   sector, size, extent field offset, [descriptor offset,] path
//   file listing    "%07u , %s": sector in decimal, path
//   record file     12 bytes per file: the sector (little-endian), "vexo", "vexo";
//                   its first four bytes later hold the data start sector.
// Lines end in CR LF on every platform: the listings are opened in binary
// mode and the two bytes are written here.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/file.h"
#include "format/image_kind.h"
#include "common/result.h"
#include "read/descriptor_list.h"
#include "read/directory_walker.h"

namespace isorelink {

inline constexpr std::size_t kRecordSize = 12;

// descriptor_offset is used for Ps2Dvd only.
std::string sector_listing_line(ImageKind kind, const FileEntry& file, std::uint64_t descriptor_offset);
std::string file_listing_line(const FileEntry& file);
std::array<std::byte, kRecordSize> record_file_record(const FileEntry& file);

struct ListingOutputs {
    File& sector_listing;
    const std::string& sector_listing_path;
    File& file_listing;
    const std::string& file_listing_path;
    File& record_file;
    const std::string& record_file_path;
};

// Writes every line and record; descriptors pair with files by rank (Ps2Dvd
// only, one per file). A failed write is reported with 1108.
Status write_listings(ImageKind kind, const std::vector<FileEntry>& files,
                      const std::vector<DescriptorEntry>& descriptors, const ListingOutputs& out);

// Puts the data start sector over the record file's first four bytes.
Status write_data_start(File& record_file, std::uint32_t data_start_sector, const std::string& record_file_path);

} // namespace isorelink
