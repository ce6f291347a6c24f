// What the kit tells its callers about an image: every extent as the
// sector listing will show it, and where its records and descriptors lie.
#include <algorithm>
#include <string>

#include "format/sector.h"
#include "format/udf/layout.h"
#include "kit/layout_plan.h"

namespace isorelink::kit {

namespace {

// Every '.' of a name receives the piece number: MOVIE.PSS -> MOVIE0.PSS.
std::string number_pieces(const std::string& name, int number) {
    const std::string with = std::to_string(number) + ".";
    std::string out;
    for (char c : name) {
        if (c == '.') out += with;
        else out += c;
    }
    return out;
}

// The name a directory record leaves after its version suffix is cut.
std::string trimmed_identifier(const std::string& identifier) {
    const std::size_t n = identifier.size();
    if (n >= 2 && identifier[n - 2] == ';') return identifier.substr(0, n - 2);
    return identifier;
}

} // namespace

BuiltImage report_image(const ImageRecipe& recipe, const Plan& plan) {
    BuiltImage built;
    built.kind = recipe.kind;
    built.sector_count = plan.sector_count;
    built.path_table_sector = plan.type_l;
    built.optional_path_table_sector = plan.optional_l;
    built.path_table_size = plan.path_table_size;
    built.partition_start = plan.partition_start;
    built.first_file_entry_sector = plan.first_file_entry_sector;
    built.data_start_sector = plan.metadata_end;
    for (const auto& dir : plan.directories)
        built.directories.push_back(WrittenDirectory{dir.path, dir.sector, dir.sectors * kSectorSize});

    // The listing's walk: directories in path table order, records in
    // order, piece counters carried from one record to the next.
    int extent_counter = 0;
    int pending_pieces = 0;
    for (const auto& dir : plan.directories) {
        for (const auto& record : dir.records) {
            if (record.role != RecordRole::FilePiece) continue;
            const auto& file = plan.files[record.index];
            const auto& piece = file.pieces[record.piece];
            WrittenExtent extent;
            const std::string name = trimmed_identifier(file.identifier);
            extent.iso_path = dir.path + "\\" + name;
            extent.listing_path = extent.iso_path;
            if (piece.flags == 0x00 || piece.flags == 0x01) {
                extent_counter = 0;
                if (pending_pieces > 0) extent.listing_path = dir.path + "\\" + number_pieces(name, pending_pieces);
                pending_pieces = 0;
            } else if (piece.flags == 0x80) {
                extent.listing_path = dir.path + "\\" + number_pieces(name, extent_counter);
                pending_pieces = ++extent_counter;
            } else {
                extent.listed = false;
            }
            extent.sector = piece.sector;
            extent.size = piece.size;
            extent.record_offset = piece.record_offset;
            extent.flags = piece.flags;
            extent.file_index = record.index;
            extent.piece = static_cast<std::uint32_t>(record.piece);
            if (recipe.kind == ImageKind::Ps2Dvd) {
                extent.entry_offset = sector_offset(file.entry_sector);
                extent.descriptor_offset =
                    extent.entry_offset + udf::fe::kShortAllocationDescriptor + record.piece * udf::short_ad::kSize;
            }
            built.extents.push_back(std::move(extent));
        }
    }
    std::stable_sort(built.extents.begin(), built.extents.end(),
                     [](const WrittenExtent& a, const WrittenExtent& b) { return a.sector < b.sector; });
    return built;
}

} // namespace isorelink::kit
