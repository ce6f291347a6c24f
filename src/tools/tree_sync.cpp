#include "tools/tree_sync.h"

#include <algorithm>
#include <array>
#include <span>

#include "common/messages.h"
#include "format/iso9660/directory_record.h"
#include "format/iso9660/layout.h"
#include "format/sector.h"
#include "format/udf/entry_layout.h"
#include "format/udf/file_entry.h"
#include "format/udf/tag.h"
#include "platform/file.h"
#include "read/udf_generic_walk.h"
#include "read/volume_trees.h"
#include "rebuild/partition_length.h"

namespace isorelink::host {

namespace {

// The items of one tree that stand for the moved file: those with its old
// extent and size; when several do, those of them with its path.
template <typename Item, typename Matches, typename PathOf>
std::vector<const Item*> find_moved(const std::vector<Item>& items, const TreeMove& move, Matches matches,
                                    PathOf path_of) {
    std::vector<const Item*> found;
    for (const Item& item : items)
        if (matches(item)) found.push_back(&item);
    if (found.size() > 1) {
        std::vector<const Item*> named;
        for (const Item* item : found)
            if (tree_key(path_of(*item)) == tree_key(move.path)) named.push_back(item);
        found = std::move(named);
    }
    return found;
}

// The rebuild's edit of one entry, on the entry's own sector: false when the
// entry holds no place for the extent.
bool relink_entry(std::span<std::byte> sector, std::size_t descriptor, std::uint32_t size, std::uint32_t position) {
    const auto layout = udf::entry_layout(sector);
    if (!layout || layout->descriptor_size() == 0) return false;
    const std::uint16_t crc_length = udf::decode_tag(sector).crc_length;
    if (udf::tag::kSize + crc_length > kSectorSize) return false;
    udf::RelinkPlace place;
    place.descriptor = descriptor;
    place.extended = layout->extended;
    if (layout->descriptors_length == 0) {
        if (size == 0) {
            place.no_descriptor = true;
        } else {
            if (udf::tag::kSize + crc_length != layout->descriptors || layout->end() + layout->descriptor_size() > kSectorSize)
                return false;
            place.add_descriptor = static_cast<std::uint8_t>(layout->descriptor_size());
        }
    }
    udf::relink_file_entry(sector, place, size, position, crc_length);
    return true;
}

} // namespace

Expected<TreeSync> sync_other_trees(const std::string& new_image, ImageKind kind, const std::vector<TreeMove>& moves) {
    TreeSync done;
    std::vector<TreeMove> changed;
    for (const auto& m : moves)
        if (m.old_sector != m.new_sector || m.old_size != m.new_size) changed.push_back(m);
    if (changed.empty()) return done;
    auto image = File::open(new_image, "r+b");
    if (!image) return job_error(msg::kRebuildInternal, new_image);
    const auto size = image->size();
    if (!size) return job_error(msg::kRebuildInternal, new_image);
    const ImageReader read = [&image](std::uint64_t offset, std::span<std::byte> out) {
        return image->read_at(offset, out) == out.size();
    };

    for (const VolumeTree& tree : read_supplementary_trees(read, *size)) {
        for (const TreeMove& move : changed) {
            const auto records = find_moved(
                tree.files, move,
                [&](const TreeFile& f) { return f.sector == move.old_sector && f.size == move.old_size; },
                [](const TreeFile& f) { return f.path; });
            for (const TreeFile* record : records) {
                const auto patch = extent_and_length_patch(move.new_sector, move.new_size);
                if (!image->write_at(record->record_offset + iso::dr::kExtent, patch))
                    return job_error(msg::kRebuildInternal, new_image);
                ++done.supplementary_records;
            }
        }
    }

    // A PS2 DVD's entries are the rebuild's, named by the relink list.
    if (kind != ImageKind::Ps2Dvd) {
        if (const auto tree = walk_udf_tree(read, *size)) {
            const std::uint32_t start = tree->partition.start;
            std::uint64_t highest_end = 0;
            for (const TreeMove& move : changed) {
                const auto entries = find_moved(
                    tree->files, move,
                    [&](const UdfNamedFile& f) {
                        const bool same_place = f.extent_count == 0 || std::uint64_t{start} + f.first_block == move.old_sector;
                        return same_place && f.information_length == move.old_size;
                    },
                    [](const UdfNamedFile& f) { return f.path; });
                if (move.new_sector < start && move.new_size != 0) continue;  // outside the partition: no block to name
                for (const UdfNamedFile* entry : entries) {
                    std::array<std::byte, kSectorSize> sector{};
                    const std::uint64_t at = whole_sectors(entry->entry_offset);
                    if (image->read_at(sector_offset(at), sector) != sector.size()) return job_error(msg::kRebuildInternal, new_image);
                    const auto descriptor = static_cast<std::size_t>(entry->descriptor_offset - sector_offset(at));
                    if (!relink_entry(sector, descriptor, move.new_size, move.new_sector - start)) continue;
                    if (!image->write_at(sector_offset(at), sector)) return job_error(msg::kRebuildInternal, new_image);
                    ++done.udf_entries;
                }
                highest_end = std::max(highest_end, std::uint64_t{move.new_sector} + sectors_to_hold(move.new_size));
            }
            // A file moved behind the partition's end: the partition grows to hold it.
            if (highest_end > std::uint64_t{start} + tree->partition.length &&
                !align_partition_length(*image, start, whole_sectors(*size)))
                return job_error(msg::kRebuildInternal, new_image);
        }
    }
    if (!image->close()) return job_error(msg::kRebuildInternal, new_image);
    return done;
}

} // namespace isorelink::host
