#include "read/udf_directory_pairing.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <limits>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "format/sector.h"
#include "format/udf/anchor.h"
#include "format/udf/file_entry.h"
#include "format/udf/file_identifier.h"
#include "format/udf/file_set_descriptor.h"
#include "format/udf/logical_volume_descriptor.h"
#include "format/udf/partition_descriptor.h"
#include "format/udf/tag.h"
#include "common/progress.h"

namespace isorelink {

namespace {

// A directory's File Identifiers larger than this are not a game disc's.
constexpr std::uint64_t kLargestDirectory = 64u << 20;
// Descriptors of a volume descriptor sequence looked at before giving up.
constexpr std::uint32_t kLongestSequence = 64;
// Names the walk gathers at most: a hostile directory tree ends here.
constexpr std::size_t kMostNames = std::size_t{1} << 24;
// A block no File Entry of ours can have: two files named alike.
constexpr std::uint32_t kAmbiguous = std::numeric_limits<std::uint32_t>::max();

std::string upper_ascii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// One file the UDF directory names: its File Entry's block and its path
// (upper case) in the walk's arena.
struct NamedEntry {
    std::uint32_t block = 0;
    std::uint32_t path_at = 0;
    std::uint32_t path_length = 0;
};

bool same_path(std::string_view listed, std::string_view named) {
    if (listed.size() != named.size()) return false;
    for (std::size_t i = 0; i < listed.size(); ++i) {
        char c = listed[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != named[i]) return false;
    }
    return true;
}

class UdfDirectoryWalk {
public:
    explicit UdfDirectoryWalk(ImageWindow& image) : image_(image) {}

    // Every file the directory names, or false when the walk is not possible.
    bool run() {
        const auto root = find_root();
        if (!root) return false;
        std::vector<std::pair<std::uint32_t, std::string>> pending{{*root, std::string()}};
        std::unordered_set<std::uint32_t> visited;
        while (!pending.empty()) {
            auto [block, path] = std::move(pending.back());
            pending.pop_back();
            if (!visited.insert(block).second) continue;
            if (!read_directory(block, path, pending)) return false;
        }
        return true;
    }

    std::uint32_t partition_start() const { return partition_start_; }
    std::vector<NamedEntry>& entries() { return entries_; }
    std::string_view path(const NamedEntry& e) const { return std::string_view(paths_).substr(e.path_at, e.path_length); }

private:
    // The descriptor at an absolute sector, when its tag names it as `identifier` and is sound.
    std::optional<std::vector<std::byte>> descriptor(std::uint64_t sector, std::uint16_t identifier) {
        const auto bytes = image_.bytes(sector_offset(sector), kSectorSize);
        if (!bytes || udf::decode_tag(*bytes).identifier != identifier || !udf::tag_is_valid(*bytes))
            return std::nullopt;
        return std::vector<std::byte>(bytes->begin(), bytes->end());
    }

    std::optional<std::uint32_t> find_root() {
        const auto anchor = descriptor(udf::avdp::kFirstAnchorSector, udf::kAnchorVolumeDescriptorPointer);
        if (!anchor) return std::nullopt;
        const auto main = udf::decode_anchor(*anchor).main;
        std::optional<std::uint32_t> partition;
        std::optional<std::uint32_t> file_set;
        const std::uint32_t count = std::min<std::uint32_t>(main.length / kSectorSize, kLongestSequence);
        for (std::uint32_t i = 0; i < count && !(partition && file_set); ++i) {
            const auto bytes = image_.bytes(sector_offset(std::uint64_t{main.location} + i), kSectorSize);
            if (!bytes || !udf::tag_is_valid(*bytes)) break;
            const std::uint16_t id = udf::decode_tag(*bytes).identifier;
            if (id == udf::kTerminatingDescriptor) break;
            if (id == udf::kPartitionDescriptor && !partition)
                partition = udf::decode_partition_descriptor(*bytes).starting_location;
            if (id == udf::kLogicalVolumeDescriptor && !file_set) {
                if (udf::logical_block_size(*bytes) != kSectorSize) return std::nullopt;
                file_set = udf::file_set_location(*bytes).block;
            }
        }
        if (!partition || !file_set) return std::nullopt;
        partition_start_ = *partition;
        const auto fsd = descriptor(std::uint64_t{partition_start_} + *file_set, udf::kFileSetDescriptor);
        if (!fsd) return std::nullopt;
        return udf::file_set_root(*fsd).block;
    }

    // Gathers the names of one directory; false when the walk must give up.
    bool read_directory(std::uint32_t block, const std::string& path,
                        std::vector<std::pair<std::uint32_t, std::string>>& pending) {
        progress::tick();
        const auto sector = descriptor(std::uint64_t{partition_start_} + block, udf::kFileEntry);
        if (!sector) return false;
        const auto entry = udf::decode_file_entry(*sector);
        if (!entry || !entry->is_directory() || entry->icb_tag.allocation_type() != 0) return false;
        const std::uint64_t size = std::min<std::uint64_t>(entry->information_length, kLargestDirectory);
        data_.clear();
        for (std::size_t i = 0; i < entry->short_ad_count() && data_.size() < size; ++i) {
            const auto ad = entry->short_ad_at(i);
            const std::uint64_t start = sector_offset(std::uint64_t{partition_start_} + ad.position);
            const std::uint64_t wanted = std::min<std::uint64_t>(ad.recorded_length(), size - data_.size());
            for (std::uint64_t done = 0; done < wanted;) {
                const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(image_.block_size(), wanted - done));
                const auto bytes = image_.bytes(start + done, n);
                if (!bytes) return false;
                data_.insert(data_.end(), bytes->begin(), bytes->end());
                done += n;
            }
        }
        return udf::for_each_named_identifier(ByteView(data_), [&](const udf::FileIdentifier& fid, std::string name) {
            if (entries_.size() + pending.size() >= kMostNames) return false;
            if (fid.is_directory()) {
                pending.emplace_back(fid.icb.block, path + "\\" + upper_ascii(name));
                return true;
            }
            if (paths_.size() + path.size() + 1 + name.size() > std::numeric_limits<std::uint32_t>::max()) return false;
            const auto at = static_cast<std::uint32_t>(paths_.size());
            paths_ += path;
            paths_ += '\\';
            paths_ += upper_ascii(name);
            entries_.push_back({fid.icb.block, at, static_cast<std::uint32_t>(paths_.size() - at)});
            return true;
        });
    }

    ImageWindow& image_;
    std::uint32_t partition_start_ = 0;
    std::vector<NamedEntry> entries_;
    std::string paths_;
    std::vector<std::byte> data_;
};

} // namespace

namespace {

// The descriptor of the File Entry at `block`, when the entry holds one
// short_ad at its usual place; nothing otherwise.
std::optional<DescriptorEntry> entry_descriptor(ImageWindow& image, std::uint64_t partition_start,
                                                std::uint32_t block) {
    const std::uint64_t entry = sector_offset(partition_start + block);
    const std::uint64_t offset = entry + udf::fe::kShortAllocationDescriptor;
    if (offset > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
    const auto head = image.bytes(entry, udf::fe::kShortAllocationDescriptor + udf::short_ad::kSize);
    if (!head || !udf::opens_file_entry(*head)) return std::nullopt;
    if (le32(*head, udf::fe::kExtendedAttributesLength) != udf::fe::kExtendedAttributesSize ||
        le32(*head, udf::fe::kAllocationDescriptorsLength) != udf::short_ad::kSize ||
        (le16(*head, udf::fe::kIcbFlags) & udf::icb::kAllocationTypeMask) != 0)
        return std::nullopt;
    DescriptorEntry d;
    d.offset = offset;
    d.extent_position = udf::decode_short_ad(*head, udf::fe::kShortAllocationDescriptor).position;
    d.information_length = udf::information_length(*head);
    return d;
}

// Whether the ranks already give every file its own entry, so that the
// directory has nothing to add: every file with data has an entry of its size
// whose extent starts at the file's first sector (one partition start for
// all), no two of them share a first sector, and at most one file is empty.
// No other entry could then hold that file's extent; what the walk settles
// is only which of several entries alike a file gets.
bool ranks_evidently_right(const std::vector<FileEntry>& files, const std::vector<DescriptorEntry>& descriptors) {
    std::optional<std::int64_t> start;
    std::size_t empty = 0;
    std::vector<std::uint32_t> sectors;
    sectors.reserve(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (descriptors[i].information_length != files[i].size) return false;
        if (files[i].size == 0) {
            if (++empty > 1) return false;
            continue;
        }
        const std::int64_t delta = std::int64_t{files[i].sector} - std::int64_t{descriptors[i].extent_position};
        if (start && *start != delta) return false;
        start = delta;
        sectors.push_back(files[i].sector);
    }
    std::sort(sectors.begin(), sectors.end());
    return std::adjacent_find(sectors.begin(), sectors.end()) == sectors.end();
}

} // namespace

std::optional<std::size_t> pair_by_udf_directory(ImageWindow& image, const std::vector<FileEntry>& files,
                                                 std::vector<DescriptorEntry>& descriptors) {
    if (descriptors.size() != files.size()) return std::nullopt;
    if (ranks_evidently_right(files, descriptors)) return files.size();
    UdfDirectoryWalk walk(image);
    if (!walk.run()) return std::nullopt;
    const std::uint64_t partition_start = walk.partition_start();
    auto& entries = walk.entries();
    // By block; an entry two names share (a hard link) pairs neither.
    std::stable_sort(entries.begin(), entries.end(),
                     [](const NamedEntry& a, const NamedEntry& b) { return a.block < b.block; });
    for (std::size_t i = 1; i < entries.size(); ++i)
        if (entries[i].block == entries[i - 1].block) entries[i].block = entries[i - 1].block = kAmbiguous;
    // The entries of a disc stand one per block in a run: a table over the
    // run finds one in a step; otherwise a search does.
    std::vector<std::uint32_t> table;
    const std::uint32_t first_block = entries.empty() ? 0 : entries.front().block;
    if (!entries.empty()) {
        std::uint32_t last_block = first_block;
        for (const auto& e : entries)
            if (e.block != kAmbiguous) last_block = std::max(last_block, e.block);
        if (std::uint64_t{last_block} - first_block < 4 * std::uint64_t{entries.size()} + 1024) {
            table.assign(std::size_t{last_block} - first_block + 1, kAmbiguous);
            for (std::size_t i = 0; i < entries.size(); ++i)
                if (entries[i].block != kAmbiguous) table[entries[i].block - first_block] = static_cast<std::uint32_t>(i);
        }
    }
    const auto named_at = [&](std::uint32_t block) -> const NamedEntry* {
        if (block == kAmbiguous) return nullptr;
        if (!table.empty()) {
            if (block < first_block || block - first_block >= table.size()) return nullptr;
            const std::uint32_t i = table[block - first_block];
            return i == kAmbiguous ? nullptr : &entries[i];
        }
        const auto it = std::lower_bound(entries.begin(), entries.end(), block,
                                         [](const NamedEntry& e, std::uint32_t b) { return e.block < b; });
        return it != entries.end() && it->block == block ? &*it : nullptr;
    };

    // Most images: the ranks already pair each file with the entry its path names.
    std::size_t count = 0;
    std::vector<std::size_t> undecided;
    for (std::size_t i = 0; i < files.size(); ++i) {
        progress::tick();
        const std::uint64_t d = descriptors[i].offset;
        const bool whole_entry = d >= udf::fe::kShortAllocationDescriptor &&
                                 (d - udf::fe::kShortAllocationDescriptor) % kSectorSize == 0 &&
                                 whole_sectors(d) >= partition_start;
        const NamedEntry* named =
            whole_entry ? named_at(static_cast<std::uint32_t>(whole_sectors(d) - partition_start)) : nullptr;
        if (named != nullptr && same_path(files[i].path, walk.path(*named)))
            ++count;
        else
            undecided.push_back(i);
    }
    if (undecided.empty()) return count;
    std::vector<std::optional<DescriptorEntry>> paired(descriptors.begin(), descriptors.end());
    for (const std::size_t i : undecided) paired[i].reset();

    // The others: the entry the directory names for the path, where it has one of its own.
    std::unordered_set<std::uint64_t> claimed;
    for (const auto& p : paired)
        if (p) claimed.insert(p->offset);
    std::unordered_map<std::string_view, std::uint32_t> by_path;
    by_path.reserve(entries.size());
    for (const auto& e : entries)
        if (e.block != kAmbiguous) by_path.emplace(walk.path(e), e.block);
    std::vector<std::size_t> left;
    for (const std::size_t i : undecided) {
        progress::tick();
        const auto named = by_path.find(upper_ascii(std::string(files[i].path)));
        const auto d = named == by_path.end() ? std::nullopt : entry_descriptor(image, partition_start, named->second);
        if (d && claimed.insert(d->offset).second) {
            paired[i] = d;
            ++count;
        } else {
            left.push_back(i);
        }
    }
    // The files left over take the descriptors left over, in rank order.
    std::size_t next = 0;
    for (const std::size_t i : left) {
        while (next < descriptors.size() && claimed.count(descriptors[next].offset) != 0) ++next;
        if (next == descriptors.size()) return std::nullopt;  // more files than entries: leave the ranks
        paired[i] = descriptors[next++];
    }
    for (std::size_t i = 0; i < files.size(); ++i) descriptors[i] = *paired[i];
    return count;
}

} // namespace isorelink
