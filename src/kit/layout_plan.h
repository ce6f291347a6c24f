#pragma once
// The kit's layout, worked out completely before a byte is written: every
// directory's sectors and records, every extent's sector, and for PS2 DVD
// the partition with its File Identifier Descriptors and File Entries.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/result.h"
#include "kit/image_recipe.h"

namespace isorelink::kit {

struct PlannedPiece {
    std::uint32_t sector = 0;
    std::uint32_t size = 0;
    std::uint8_t flags = 0;
    std::uint64_t record_offset = 0;  // absolute byte offset of its directory record
};

struct PlannedFile {
    std::size_t recipe_index = 0;
    std::string name;        // without version: "FILE.BIN"
    std::string identifier;  // as recorded: "FILE.BIN;1"
    std::size_t directory = 0;
    std::vector<PlannedPiece> pieces;
    std::uint32_t entry_sector = 0;  // PS2 DVD: its File Entry
};

struct PlannedChild {
    bool is_directory = false;
    std::size_t index = 0;
};

// One directory record: "." and ".." have no child.
enum class RecordRole { Self, Parent, Directory, FilePiece };
struct PlannedRecord {
    RecordRole role = RecordRole::Self;
    std::size_t index = 0;  // directory or file index
    std::size_t piece = 0;
    std::uint32_t offset = 0;  // within the directory's extent
};

struct PlannedDirectory {
    std::string name;  // "" for the root
    std::string path;  // "" for the root, "\\DATA" ...
    std::size_t parent = 0;
    std::vector<PlannedChild> children;  // in record order
    std::vector<PlannedRecord> records;
    std::uint32_t sector = 0;
    std::uint32_t sectors = 1;
    // PS2 DVD
    std::uint32_t fid_sector = 0;
    std::uint32_t fid_bytes = 0;
    std::uint32_t entry_sector = 0;
    std::uint32_t subdirectories = 0;
};

struct Plan {
    ImageKind kind = ImageKind::Ps2Cd;
    std::vector<PlannedDirectory> directories;  // path table order, root first
    std::vector<PlannedFile> files;             // ImageRecipe::files order
    std::uint32_t path_table_size = 0;
    std::uint32_t path_table_sectors = 0;
    std::uint32_t type_l = 0, optional_l = 0, type_m = 0, optional_m = 0;
    std::uint32_t partition_start = 0;
    std::uint32_t first_file_entry_sector = 0;
    std::vector<std::size_t> entry_order;  // file indices in File Entry order
    std::uint32_t metadata_end = 0;        // first sector after the metadata
    std::uint32_t sector_count = 0;
    std::uint32_t partition_length() const { return sector_count - 1 - partition_start; }
};

// Builds the tree of directories and files (names checked, records sorted).
Expected<Plan> plan_tree(const ImageRecipe& recipe);

// Places path tables, directories, UDF structures and file data.
Status plan_sectors(const ImageRecipe& recipe, Plan& plan);

// CD-XA system use field (14 bytes) that follows the identifier in every
// directory record of a PS2 CD or PSP UMD: the PVD's "CD-XA001" announces it.
inline constexpr std::uint32_t kXaSystemUseSize = 14;
constexpr bool has_xa_records(ImageKind kind) { return kind != ImageKind::Ps2Dvd; }

// Bytes of one directory record with an identifier of this length.
constexpr std::uint32_t directory_record_size(std::size_t identifier_length, bool xa) {
    return static_cast<std::uint32_t>(33 + identifier_length + ((identifier_length & 1) ? 0 : 1)) +
           (xa ? kXaSystemUseSize : 0);
}

// Bytes of one File Identifier Descriptor for a name (compression id byte included).
constexpr std::uint32_t fid_size(std::size_t name_length) {
    const std::size_t identifier = name_length == 0 ? 0 : name_length + 1;
    return static_cast<std::uint32_t>((38 + identifier + 3) & ~std::size_t{3});
}

// What the kit reports to its callers.
BuiltImage report_image(const ImageRecipe& recipe, const Plan& plan);

} // namespace isorelink::kit
