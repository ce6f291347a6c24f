#include "read/udf_tree_descriptors.h"

#include <algorithm>
#include <limits>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "common/progress.h"

namespace isorelink {

namespace {

std::string upper_ascii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

} // namespace

Expected<std::vector<DescriptorEntry>> descriptors_from_udf_tree(const UdfBridgeTree& tree,
                                                                 const std::vector<FileEntry>& files,
                                                                 const std::string& image_path) {
    std::unordered_map<std::string, const UdfNamedFile*> by_path;
    by_path.reserve(tree.files.size());
    for (const auto& f : tree.files) {
        // Two names alike but for case pair neither: which one is meant is unknown.
        const auto [it, added] = by_path.emplace(upper_ascii(f.path), &f);
        if (!added) it->second = nullptr;
    }
    std::vector<DescriptorEntry> descriptors;
    descriptors.reserve(files.size());
    std::unordered_set<std::uint64_t> taken;
    for (const FileEntry& file : files) {
        progress::tick();
        const auto named = by_path.find(upper_ascii(file.path));
        if (named == by_path.end() || named->second == nullptr)
            return structure_error(image_path, "the UDF directory names no single entry for " + std::string(file.path));
        const UdfNamedFile& entry = *named->second;
        if (entry.descriptor_size == 0)
            return structure_error(image_path, "the UDF entry of " + std::string(file.path) + " holds its data itself");
        if (!taken.insert(entry.entry_offset).second)
            return structure_error(image_path, "two listed files share the UDF entry of " + std::string(file.path));
        if (entry.descriptor_offset > std::numeric_limits<std::uint32_t>::max())
            return structure_error(image_path, "UDF allocation descriptor beyond 4 GiB");
        DescriptorEntry d;
        d.offset = entry.descriptor_offset;
        d.extent_position = entry.first_block;
        d.information_length = entry.information_length;
        descriptors.push_back(d);
    }
    return descriptors;
}

std::uint64_t udf_tree_data_start(const UdfBridgeTree& tree, std::uint64_t header_sectors) {
    const std::uint64_t after_entries = tree.entry_sectors.empty() ? 0 : std::uint64_t{tree.entry_sectors.back()} + 1;
    return std::max(header_sectors, after_entries);
}

} // namespace isorelink
