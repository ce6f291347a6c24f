// Sector layout: path tables, directories, the UDF partition of a PS2 DVD
// and the file data, all decided before anything is written.
#include "kit/layout_plan.h"

#include <algorithm>

#include "common/messages.h"
#include "format/iso9660/layout.h"
#include "format/sector.h"
#include "format/udf/layout.h"

namespace isorelink::kit {

namespace {

JobError kit_error(const std::string& text) { return job_error(msg::kKit, text); }

// CD and UMD: the path tables follow the set terminator. DVD: they follow
// the anchor at 256.
constexpr std::uint32_t kCdFirstPathTableSector = 18;
constexpr std::uint32_t kDvdFirstPathTableSector = udf::avdp::kFirstAnchorSector + 1;

void place_path_tables(const ImageRecipe& recipe, Plan& plan, std::uint32_t& cursor) {
    std::uint32_t size = 0;
    for (const auto& dir : plan.directories)
        size += static_cast<std::uint32_t>(iso::ptr::record_size(std::max<std::size_t>(dir.name.size(), 1)));
    plan.path_table_size = size;
    plan.path_table_sectors = std::max<std::uint32_t>(1, static_cast<std::uint32_t>(sectors_to_hold(size)));
    const auto take = [&] {
        const std::uint32_t at = cursor;
        cursor += plan.path_table_sectors;
        return at;
    };
    plan.type_l = take();
    switch (recipe.optional_path_table) {
    case OptionalPathTable::NextSector: plan.optional_l = take(); break;
    case OptionalPathTable::Zero: plan.optional_l = 0; break;
    case OptionalPathTable::SameAsTypeL: plan.optional_l = plan.type_l; break;
    }
    plan.type_m = take();
    switch (recipe.optional_path_table) {
    case OptionalPathTable::NextSector: plan.optional_m = take(); break;
    case OptionalPathTable::Zero: plan.optional_m = 0; break;
    case OptionalPathTable::SameAsTypeL: plan.optional_m = plan.type_m; break;
    }
}

// PS2 DVD: File Set Descriptor, its terminator, every directory's File
// Identifier Descriptors, the directories' File Entries, then a run of
// sectors for the files' File Entries.
void place_partition(Plan& plan, std::uint32_t& cursor) {
    plan.partition_start = cursor;
    cursor += 2;
    for (auto& dir : plan.directories) {
        std::uint32_t bytes = fid_size(0);
        for (const auto& child : dir.children)
            bytes += fid_size(child.is_directory ? plan.directories[child.index].name.size() : plan.files[child.index].name.size());
        dir.fid_bytes = bytes;
        dir.fid_sector = cursor;
        cursor += static_cast<std::uint32_t>(sectors_to_hold(bytes));
    }
    for (auto& dir : plan.directories) dir.entry_sector = cursor++;
    plan.first_file_entry_sector = cursor;
    cursor += static_cast<std::uint32_t>(plan.files.size());
}

Status place_data(const ImageRecipe& recipe, Plan& plan) {
    std::uint32_t cursor = std::max(plan.metadata_end, recipe.first_data_sector);
    std::vector<std::size_t> waiting;  // zero-length files that share the next file's sector
    std::uint64_t end = plan.metadata_end;
    for (std::size_t i = 0; i < plan.files.size(); ++i) {
        const FileRecipe& file = recipe.files[i];
        auto& planned = plan.files[i];
        std::uint64_t at = cursor;
        if (file.sector) {
            if (*file.sector < plan.metadata_end)
                return kit_error("'" + file.path + "' is placed at sector " + std::to_string(*file.sector) +
                                 ", inside the volume's metadata (ends at " + std::to_string(plan.metadata_end) + ")");
            at = *file.sector;
        } else if (file.byte_size() == 0) {
            waiting.push_back(i);
            continue;
        }
        for (auto& piece : planned.pieces) {
            if (at > 0xFFFFFFFFull) return kit_error("'" + file.path + "' lies beyond sector 2^32");
            piece.sector = static_cast<std::uint32_t>(at);
            at += sectors_to_hold(piece.size);
        }
        if (file.byte_size() == 0) continue;
        for (std::size_t w : waiting)
            for (auto& piece : plan.files[w].pieces) piece.sector = planned.pieces.front().sector;
        waiting.clear();
        end = std::max(end, at);
        if (at > 0xFFFFFFF0ull) return kit_error("'" + file.path + "' ends beyond sector 2^32");
        cursor = std::max<std::uint32_t>(cursor, static_cast<std::uint32_t>(at));
    }
    for (std::size_t w : waiting)
        for (auto& piece : plan.files[w].pieces) piece.sector = cursor;

    // No two extents with data may share a sector.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> used;
    for (const auto& file : plan.files)
        for (const auto& piece : file.pieces)
            if (piece.size > 0) used.emplace_back(piece.sector, piece.sector + sectors_to_hold(piece.size));
    std::sort(used.begin(), used.end());
    for (std::size_t i = 1; i < used.size(); ++i)
        if (used[i].first < used[i - 1].second)
            return kit_error("file data overlaps at sector " + std::to_string(used[i].first));

    const std::uint64_t count = end + recipe.padding_sectors + (recipe.kind == ImageKind::Ps2Dvd ? 1 : 0);
    if (count > 0xFFFFFFFFull) return kit_error("the image would exceed 2^32 sectors");
    plan.sector_count = static_cast<std::uint32_t>(count);
    return ok_status();
}

std::vector<std::size_t> walk_order(const Plan& plan) {
    std::vector<std::size_t> order;
    for (const auto& dir : plan.directories)
        for (const auto& child : dir.children)
            if (!child.is_directory) order.push_back(child.index);
    return order;
}

void assign_file_entries(const ImageRecipe& recipe, Plan& plan) {
    std::vector<std::size_t> order;
    if (recipe.entry_order == EntryOrder::DirectoryOrder) {
        order = walk_order(plan);
    } else {
        order.resize(plan.files.size());
        for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return plan.files[a].pieces.front().sector < plan.files[b].pieces.front().sector;
        });
        if (recipe.entry_order == EntryOrder::ReverseDataOrder) std::reverse(order.begin(), order.end());
    }
    for (std::size_t k = 0; k < order.size(); ++k)
        plan.files[order[k]].entry_sector = plan.first_file_entry_sector + static_cast<std::uint32_t>(k);
    plan.entry_order = std::move(order);
}

} // namespace

Status plan_sectors(const ImageRecipe& recipe, Plan& plan) {
    if (recipe.icb_length != 2048 && recipe.icb_length != 316) return kit_error("ICB length must be 2048 or 316");
    const bool dvd = recipe.kind == ImageKind::Ps2Dvd;
    std::uint32_t cursor = dvd ? kDvdFirstPathTableSector : kCdFirstPathTableSector;
    place_path_tables(recipe, plan, cursor);
    for (auto& dir : plan.directories) {
        dir.sector = cursor;
        cursor += dir.sectors;
    }
    if (dvd) place_partition(plan, cursor);
    plan.metadata_end = cursor;
    if (auto placed = place_data(recipe, plan); !placed) return placed;
    if (dvd) assign_file_entries(recipe, plan);
    for (const auto& dir : plan.directories)
        for (const auto& record : dir.records)
            if (record.role == RecordRole::FilePiece)
                plan.files[record.index].pieces[record.piece].record_offset = sector_offset(dir.sector) + record.offset;
    return ok_status();
}

} // namespace isorelink::kit
