#include "read/udf_generic_walk.h"

#include <algorithm>
#include <array>
#include <unordered_set>
#include <utility>

#include "common/progress.h"
#include "format/endian.h"
#include "format/sector.h"
#include "format/udf/allocation_descriptor.h"
#include "format/udf/anchor.h"
#include "format/udf/entry_layout.h"
#include "format/udf/file_identifier.h"
#include "format/udf/file_set_descriptor.h"
#include "format/udf/logical_volume_descriptor.h"
#include "format/udf/partition_descriptor.h"
#include "format/udf/tag.h"

namespace isorelink {

namespace {

// Descriptors of a volume descriptor sequence looked at before giving up.
constexpr std::uint32_t kLongestSequence = 64;
// A directory's File Identifiers larger than this are not a disc's.
constexpr std::uint64_t kLargestDirectory = 64u << 20;
// Directories and files the walk takes at most: a hostile tree ends here.
constexpr std::size_t kMostNames = std::size_t{1} << 22;
// Extents of one directory read at most.
constexpr std::size_t kMostExtents = 4096;

using Sector = std::array<std::byte, kSectorSize>;

// The sector, when it holds a sound descriptor with this identifier whose tag
// names `location` as its place.
bool read_descriptor(const ImageReader& read, std::uint64_t image_size, std::uint64_t sector, std::uint16_t identifier,
                     std::uint32_t location, Sector& out) {
    if (sector_offset(sector) + kSectorSize > image_size) return false;
    if (!read(sector_offset(sector), out)) return false;
    const auto tag = udf::decode_tag(out);
    return tag.identifier == identifier && tag.location == location && udf::tag_is_valid(out);
}

struct Extent {
    std::uint64_t offset = 0;  // in the image
    std::uint64_t length = 0;
};

class TreeWalk {
public:
    TreeWalk(const ImageReader& read, std::uint64_t image_size, const UdfPartitionPlace& partition)
        : read_(read), image_size_(image_size), partition_(partition) {}

    bool run(std::uint32_t root_block) {
        std::vector<std::pair<std::uint32_t, std::string>> pending{{root_block, std::string()}};
        std::unordered_set<std::uint32_t> visited;
        while (!pending.empty()) {
            auto [block, path] = std::move(pending.back());
            pending.pop_back();
            if (!visited.insert(block).second) return false;  // a loop, or a directory named twice
            if (!read_directory(block, path, pending)) return false;
        }
        std::sort(tree_.entry_sectors.begin(), tree_.entry_sectors.end());
        return true;
    }

    UdfBridgeTree take() {
        tree_.partition = partition_;
        return std::move(tree_);
    }

private:
    // The entry at `block`, its layout checked against the sector.
    bool read_entry(std::uint32_t block, Sector& sector, udf::EntryLayout& layout) {
        if (block >= partition_.length) return false;
        const std::uint64_t at = std::uint64_t{partition_.start} + block;
        if (sector_offset(at) + kSectorSize > image_size_ || !read_(sector_offset(at), sector)) return false;
        const auto tag = udf::decode_tag(sector);
        if ((tag.identifier != udf::kFileEntry && tag.identifier != udf::kExtendedFileEntry) || tag.location != block ||
            !udf::tag_is_valid(sector))
            return false;
        const auto found = udf::entry_layout(sector);
        if (!found) return false;
        layout = *found;
        tree_.entry_sectors.push_back(static_cast<std::uint32_t>(at));
        return true;
    }

    // The extents the entry's descriptors name, within the image.
    bool extents_of(const Sector& sector, const udf::EntryLayout& layout, std::uint64_t entry_offset,
                    std::uint64_t size, std::vector<Extent>& extents) {
        extents.clear();
        if (layout.allocation_type == 3) {  // the data lies in the entry itself
            extents.push_back({entry_offset + layout.descriptors, std::min<std::uint64_t>(size, layout.descriptors_length)});
            return true;
        }
        const std::size_t step = layout.descriptor_size();
        if (step == 0) return false;
        std::uint64_t gathered = 0;
        for (std::size_t at = layout.descriptors; at + step <= layout.end() && gathered < size; at += step) {
            const ByteView bytes(sector);
            const std::uint32_t length = le32(bytes, at) & udf::short_ad::kExtentLengthMask;
            const std::uint32_t kind = le32(bytes, at) >> 30;
            const std::uint32_t block = le32(bytes, at + 4);
            if (length == 0) break;
            if (kind == 3) return false;  // a continuation: not met on a read-only disc
            if (extents.size() >= kMostExtents) return false;
            const std::uint64_t start = sector_offset(std::uint64_t{partition_.start} + block);
            const std::uint64_t wanted = std::min<std::uint64_t>(length, size - gathered);
            if (start + wanted > image_size_) return false;
            extents.push_back({start, wanted});
            gathered += wanted;
        }
        return true;
    }

    bool read_directory(std::uint32_t block, const std::string& path,
                        std::vector<std::pair<std::uint32_t, std::string>>& pending) {
        progress::tick();
        Sector sector;
        udf::EntryLayout layout;
        if (!read_entry(block, sector, layout)) return false;
        if (u8(sector, udf::fe::kFileType) != udf::icb::kFileTypeDirectory) return false;
        const std::uint64_t size = std::min<std::uint64_t>(le64(sector, udf::fe::kInformationLength), kLargestDirectory);
        const std::uint64_t entry_offset = sector_offset(std::uint64_t{partition_.start} + block);
        std::vector<Extent> extents;
        if (!extents_of(sector, layout, entry_offset, size, extents)) return false;
        data_.clear();
        for (const Extent& e : extents) {
            const std::size_t was = data_.size();
            data_.resize(was + static_cast<std::size_t>(e.length));
            if (!read_(e.offset, std::span<std::byte>(data_).subspan(was))) return false;
        }
        return udf::for_each_named_identifier(ByteView(data_), [&](const udf::FileIdentifier& fid, std::string name) {
            if (++names_ > kMostNames) return false;
            std::string child = path + "\\" + name;
            if (fid.is_directory()) {
                pending.emplace_back(fid.icb.block, std::move(child));
                return true;
            }
            return add_file(fid.icb.block, std::move(child));
        });
    }

    bool add_file(std::uint32_t block, std::string path) {
        progress::tick();
        Sector sector;
        udf::EntryLayout layout;
        if (!read_entry(block, sector, layout)) return false;
        UdfNamedFile f;
        f.path = std::move(path);
        f.entry_offset = sector_offset(std::uint64_t{partition_.start} + block);
        f.descriptor_offset = f.entry_offset + layout.descriptors;
        f.descriptor_size = static_cast<std::uint32_t>(layout.descriptor_size());
        f.extended = layout.extended;
        f.information_length = le64(sector, udf::fe::kInformationLength);
        if (f.descriptor_size != 0) {
            f.extent_count = static_cast<std::uint32_t>(layout.descriptors_length / f.descriptor_size);
            if (f.extent_count != 0) f.first_block = le32(sector, layout.descriptors + 4);
        }
        tree_.files.push_back(std::move(f));
        return true;
    }

    const ImageReader& read_;
    std::uint64_t image_size_;
    UdfPartitionPlace partition_;
    UdfBridgeTree tree_;
    std::vector<std::byte> data_;
    std::size_t names_ = 0;
};

} // namespace

std::optional<UdfPartitionPlace> find_udf_partition(const ImageReader& read, std::uint64_t image_size) {
    Sector sector;
    if (!read_descriptor(read, image_size, udf::avdp::kFirstAnchorSector, udf::kAnchorVolumeDescriptorPointer,
                         udf::avdp::kFirstAnchorSector, sector))
        return std::nullopt;
    const auto main = udf::decode_anchor(sector).main;
    std::optional<UdfPartitionPlace> partition;
    std::optional<std::uint32_t> file_set;
    const std::uint32_t count = std::min<std::uint32_t>(main.length / kSectorSize, kLongestSequence);
    for (std::uint32_t i = 0; i < count && !(partition && file_set); ++i) {
        const std::uint64_t at = std::uint64_t{main.location} + i;
        if (sector_offset(at) + kSectorSize > image_size || !read(sector_offset(at), sector)) break;
        const auto tag = udf::decode_tag(sector);
        if (tag.location != at || !udf::tag_is_valid(sector) || tag.identifier == udf::kTerminatingDescriptor) break;
        if (tag.identifier == udf::kPartitionDescriptor && !partition) {
            const auto pd = udf::decode_partition_descriptor(sector);
            partition = UdfPartitionPlace{pd.starting_location, pd.length, 0};
        }
        if (tag.identifier == udf::kLogicalVolumeDescriptor && !file_set) {
            if (udf::logical_block_size(sector) != kSectorSize) return std::nullopt;
            file_set = udf::file_set_location(sector).block;
        }
    }
    if (!partition || !file_set) return std::nullopt;
    if (sector_offset(partition->start) >= image_size || *file_set >= partition->length) return std::nullopt;
    partition->file_set_block = *file_set;
    if (!read_descriptor(read, image_size, std::uint64_t{partition->start} + *file_set, udf::kFileSetDescriptor,
                         *file_set, sector))
        return std::nullopt;
    return partition;
}

std::optional<UdfBridgeTree> walk_udf_tree(const ImageReader& read, std::uint64_t image_size) {
    const auto partition = find_udf_partition(read, image_size);
    if (!partition) return std::nullopt;
    Sector sector;
    if (!read_descriptor(read, image_size, std::uint64_t{partition->start} + partition->file_set_block,
                         udf::kFileSetDescriptor, partition->file_set_block, sector))
        return std::nullopt;
    TreeWalk walk(read, image_size, *partition);
    if (!walk.run(udf::file_set_root(sector).block)) return std::nullopt;
    return walk.take();
}

} // namespace isorelink
