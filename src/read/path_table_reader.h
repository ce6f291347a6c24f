#pragma once
// The directory list: every directory the type L path table names, with its
// full path, ordered by parent number (ties in path table order). For a table
// that follows ISO 9660 that is exactly path table order, the root first.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "format/endian.h"
#include "format/iso9660/layout.h"
#include "common/result.h"
#include "platform/read_handle.h"

namespace isorelink {

// A directory path longer than this can hold no file a listing line can
// carry: such a directory is walked, and a file found in it refused (1107).
inline constexpr std::size_t kMaxDirectoryPath = 2047;
// The paths of all directories together: past this the path table is not a
// disc's (65,535 directories of 1,000 characters each stay well below).
inline constexpr std::size_t kMaxDirectoryPathsTotal = std::size_t{128} << 20;
// Directory numbers are 16-bit: the root is 1, the n-th record is n.
inline constexpr std::size_t kMaxPathTableRecords = 65535;
// A path table holds at most 65,535 records of at most 8 + 255 + 1 bytes:
// whatever its size field claims, no reader needs more of it than this.
inline constexpr std::size_t kLongestPathTable = kMaxPathTableRecords * iso::ptr::record_size(255);

struct DirectoryNode {
    std::uint32_t extent = 0;          // the directory's first sector
    std::uint16_t number = 0;          // position of its record in the path table
    std::uint16_t parent_number = 0;   // as recorded; the root records 1
    std::uint8_t identifier_length = 0;  // as recorded, before the version cut
    std::string path;                  // "" for the root, "\DATA\MOVIE" ...
    bool path_too_long = false;        // longer than kMaxDirectoryPath: path left empty
};

// Builds the list from a path table of table_size bytes at the start of
// table (which may run on past the size: a record that starts inside the
// size is read whole). A record that does not lie in table is a structural
// fault, as are an empty table, more than 65535 records and paths that
// together pass kMaxDirectoryPathsTotal.
Expected<std::vector<DirectoryNode>> directory_list(ByteView table, std::uint32_t table_size,
                                                    const std::string& image_path);

// Reads the table the primary volume descriptor names through the platform's
// file handle and builds the list: no more of it than the longest table and
// its last record.
Expected<std::vector<DirectoryNode>> read_directory_list(const platform::ReadHandle& image,
                                                         const std::string& image_path);
// The same on an image it opens itself: 1101h when it cannot.
Expected<std::vector<DirectoryNode>> read_directory_list(const std::string& image_path);

} // namespace isorelink
