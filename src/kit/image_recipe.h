#pragma once
// What the image kit builds: a volume described in memory (files, folders and
// layout knobs), for tests, the demo and the benchmarks.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "format/image_kind.h"

namespace isorelink::kit {

enum class ContentPattern {
    Explicit,   // the bytes in `content`
    Pattern,    // `size` bytes of a deterministic pattern derived from the path
    Zero,       // `size` zero bytes (left as a hole in sparse output files)
    HostFile,   // `size` bytes read from the file at `host_path` when the image is written
};

struct FileRecipe {
    // Full ISO path with backslashes, identifiers as the directory records
    // hold them without the version: "\\DATA\\FILE.BIN". Folders along the
    // way are created as needed.
    std::string path;
    ContentPattern pattern = ContentPattern::Explicit;
    std::vector<std::byte> content;  // ContentPattern::Explicit
    std::uint64_t size = 0;          // Pattern, Zero and HostFile
    std::string host_path;           // ContentPattern::HostFile
    // Place the data at this sector (must not overlap others); otherwise the
    // next free sector in the order of ImageRecipe::files.
    std::optional<std::uint32_t> sector;
    // Record the file in several extents of at most this many bytes (a
    // multiple of 2048); 0 = one extent. Pieces carry flag 0x80, the last 0x00.
    std::uint32_t extent_limit = 0;
    bool hidden = false;      // flags 0x01 (0x81 on pieces)
    bool no_version = false;  // no ";1" suffix on the identifier

    std::uint64_t byte_size() const { return pattern == ContentPattern::Explicit ? content.size() : size; }
};

enum class OptionalPathTable {
    NextSector,   // optional type L table in the sector after the type L table
    Zero,         // location 0, as some mastering tools write
    SameAsTypeL,  // the same sector as the type L table
};

enum class EntryOrder {
    DataOrder,         // File Entries in the order of the files' data
    ReverseDataOrder,  // the opposite
    DirectoryOrder,    // the order of the directory walk
};

struct ImageRecipe {
    ImageKind kind = ImageKind::Ps2Cd;
    std::string volume_id = "ISORELINK";
    // Files in data order (the order their extents are laid out in).
    std::vector<FileRecipe> files;
    // Extra (possibly empty) folders: "\\EMPTY\\DIR".
    std::vector<std::string> directories;
    OptionalPathTable optional_path_table = OptionalPathTable::NextSector;
    EntryOrder entry_order = EntryOrder::DataOrder;  // PS2 DVD only
    std::uint32_t icb_length = 2048;                 // PS2 DVD: FSD root ICB and FID ICB lengths (2048 or 316)
    std::uint32_t padding_sectors = 0;               // zero sectors after the last file
    // Every directory gets at least this many sectors (zero tails).
    std::uint32_t min_directory_sectors = 1;
    // Sector where file data begins at the earliest (0 = right after the metadata).
    std::uint32_t first_data_sector = 0;
};

// One extent the kit wrote, as every reader should see it.
struct WrittenExtent {
    std::string listing_path;      // as the sector listing names it: "\\DATA\\MOVIE0.PSS"
    std::string iso_path;          // the file's path without piece numbering: "\\DATA\\MOVIE.PSS"
    std::uint32_t sector = 0;      // first sector of the extent
    std::uint32_t size = 0;        // bytes
    std::uint64_t record_offset = 0;      // byte offset of its ISO directory record
    std::uint64_t descriptor_offset = 0;  // PS2 DVD: byte offset of its FE short_ad (FE + 308); 0 otherwise
    std::uint64_t entry_offset = 0;       // PS2 DVD: byte offset of its File Entry; 0 otherwise
    std::uint8_t flags = 0;               // ISO directory record flags
    // False for records the sector listing drops (hidden pieces, flags 0x81);
    // their listing_path is then the unnumbered iso_path.
    bool listed = true;
    std::size_t file_index = 0;  // index into ImageRecipe::files
    std::uint32_t piece = 0;     // 0, 1, ... in record order
};

struct WrittenDirectory {
    std::string path;  // "" for the root, "\\DATA" ...
    std::uint32_t sector = 0;
    std::uint32_t size = 0;
};

struct BuiltImage {
    ImageKind kind = ImageKind::Ps2Cd;
    std::uint32_t sector_count = 0;        // = volume space size
    std::uint32_t path_table_sector = 0;   // type L
    std::uint32_t path_table_size = 0;
    std::uint32_t partition_start = 0;     // PS2 DVD: P, the File Set Descriptor's sector
    std::uint32_t first_file_entry_sector = 0;  // PS2 DVD: the first file's FE sector
    // First sector after the metadata, where file data may begin: the value
    // the record file starts with (CD/UMD: the end of the highest directory;
    // DVD: the sector after the File Entry run). File data starts here unless
    // ImageRecipe::first_data_sector or given sectors move it further.
    std::uint32_t data_start_sector = 0;
    std::uint32_t optional_path_table_sector = 0;  // as recorded at PVD byte 144
    std::vector<WrittenDirectory> directories;  // path table order
    std::vector<WrittenExtent> extents;    // in ascending sector order, equal sectors in walk order
};

} // namespace isorelink::kit
