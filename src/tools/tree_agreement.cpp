#include "tools/tree_agreement.h"

#include <limits>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "read/volume_trees.h"

namespace isorelink::host {

namespace {

std::string extent_text(std::uint32_t sector, std::uint64_t size) {
    return "sector " + std::to_string(sector) + ", " + std::to_string(size) + " bytes";
}

// Only looked up, never walked in order: hashed.
struct Primary {
    std::unordered_map<std::string, const IsoFile*> by_path;
    std::unordered_set<std::uint64_t> extents;  // sector << 32 | size: a primary record's size has 32 bits

    static std::uint64_t extent(std::uint32_t sector, std::uint32_t size) { return (std::uint64_t{sector} << 32) | size; }
};

Primary primary_of(const IsoVolume& iso) {
    Primary p;
    p.by_path.reserve(iso.files.size());
    p.extents.reserve(iso.files.size());
    for (const auto& f : iso.files) {
        if (f.multi_extent) continue;
        p.by_path.emplace(tree_key(f.path), &f);
        p.extents.insert(Primary::extent(f.sector, f.size));
    }
    return p;
}

// One file of another tree against the primary tree: by path where the
// primary tree has it, else by extent (Joliet keeps names the primary tree
// shortens).
void compare(const std::string& tree, const std::string& path, std::uint32_t sector, std::uint64_t size,
             const Primary& primary, std::vector<std::string>& problems) {
    const auto it = primary.by_path.find(tree_key(path));
    if (it != primary.by_path.end()) {
        const IsoFile& f = *it->second;
        const bool same = f.size == size && (size == 0 || f.sector == sector);
        if (!same)
            problems.push_back(tree + ": " + path + " says " + extent_text(sector, size) + ", the primary tree says " +
                               extent_text(f.sector, f.size));
        return;
    }
    if (size == 0 || (size <= std::numeric_limits<std::uint32_t>::max() &&
                      primary.extents.count(Primary::extent(sector, static_cast<std::uint32_t>(size))) != 0))
        return;
    problems.push_back(tree + ": " + path + " says " + extent_text(sector, size) +
                       ", which no file of the primary tree has");
}

} // namespace

ImageReader handle_reader(const ImageSource& image) {
    return [&image](std::uint64_t offset, std::span<std::byte> out) { return image.read_exact_at(offset, out); };
}

bool carries_udf_bridge(const ImageSource& image, std::uint64_t image_size) {
    return find_udf_partition(handle_reader(image), image_size).has_value();
}

std::vector<std::string> check_other_trees(const ImageSource& image, const IsoVolume& iso, bool check_udf,
                                           std::vector<std::string>& problems) {
    std::vector<std::string> compared;
    // Most images carry no other tree: the primary tree's lookup is built for the first one met.
    std::optional<Primary> primary_lookup;
    const auto primary = [&]() -> const Primary& {
        if (!primary_lookup) primary_lookup = primary_of(iso);
        return *primary_lookup;
    };
    const ImageReader read = handle_reader(image);
    for (const VolumeTree& tree : read_supplementary_trees(read, iso.image_size)) {
        compared.push_back(tree.name);
        if (!tree.complete) problems.push_back(tree.name + ": a directory could not be read whole");
        for (const TreeFile& f : tree.files) compare(tree.name, f.path, f.sector, f.size, primary(), problems);
    }
    if (check_udf) {
        if (const auto udf = walk_udf_tree(read, iso.image_size)) {
            compared.push_back("UDF tree");
            for (const UdfNamedFile& f : udf->files) {
                const std::uint32_t sector = f.extent_count == 0 ? 0 : udf->partition.start + f.first_block;
                compare("UDF tree", f.path, sector, f.information_length, primary(), problems);
            }
        } else if (carries_udf_bridge(image, iso.image_size)) {
            problems.push_back("UDF tree: its directory could not be walked from the anchor at 256");
        }
    }
    return compared;
}

} // namespace isorelink::host
