// The volume's tree: directories in path table order, each directory's
// records in ISO 9660 order, each file cut into its extents.
#include <algorithm>
#include <unordered_map>

#include "format/sector.h"
#include "common/messages.h"
#include "kit/iso_identifiers.h"
#include "kit/layout_plan.h"

namespace isorelink::kit {

namespace {

JobError kit_error(const std::string& text) { return job_error(msg::kKit, text); }

struct Node {
    std::string name;
    std::size_t parent = 0;
    std::vector<std::size_t> subdirectories;
    std::vector<std::size_t> files;
};

class TreeBuilder {
public:
    TreeBuilder() { nodes_.push_back(Node{}); directories_by_path_.emplace("", 0); }

    // Index of the directory at `parts[0..count)`, created as needed.
    Expected<std::size_t> directory(const std::vector<std::string>& parts, std::size_t count) {
        std::size_t current = 0;
        std::string path;
        for (std::size_t i = 0; i < count; ++i) {
            if (auto problem = directory_name_problem(parts[i])) return kit_error(*problem);
            path += "\\" + parts[i];
            if (auto found = directories_by_path_.find(path); found != directories_by_path_.end()) {
                current = found->second;
                continue;
            }
            if (file_paths_.count(path)) return kit_error("'" + path + "' is both a file and a directory");
            nodes_.push_back(Node{parts[i], current, {}, {}});
            const std::size_t created = nodes_.size() - 1;
            nodes_[current].subdirectories.push_back(created);
            directories_by_path_.emplace(path, created);
            current = created;
        }
        return current;
    }

    Status add_file(const std::string& recipe_path, std::size_t file_index, const std::vector<std::string>& parts) {
        if (auto problem = file_name_problem(parts.back())) return kit_error(*problem);
        auto parent = directory(parts, parts.size() - 1);
        if (!parent) return parent.error();
        if (directories_by_path_.count(recipe_path))
            return kit_error("'" + recipe_path + "' is both a file and a directory");
        if (!file_paths_.emplace(recipe_path, file_index).second)
            return kit_error("'" + recipe_path + "' is listed twice");
        nodes_[*parent].files.push_back(file_index);
        return ok_status();
    }

    std::vector<Node>& nodes() { return nodes_; }

private:
    std::vector<Node> nodes_;
    std::unordered_map<std::string, std::size_t> directories_by_path_;
    std::unordered_map<std::string, std::size_t> file_paths_;
};

Status cut_into_pieces(const ImageRecipe& recipe, const FileRecipe& file, PlannedFile& planned) {
    const std::uint64_t size = file.byte_size();
    const std::uint64_t limit = file.extent_limit;
    if (limit % kSectorSize != 0) return kit_error("extent limit of '" + file.path + "' is not a multiple of 2048");
    const std::uint64_t piece_limit = limit == 0 ? size : limit;
    if (piece_limit > 0xFFFFFFFFull) return kit_error("'" + file.path + "' needs an extent limit below 4 GiB");
    if (recipe.kind == ImageKind::Ps2Dvd && piece_limit >= (1ull << 30))
        return kit_error("'" + file.path + "' needs an extent limit below 1 GiB on a PS2 DVD");
    if (file.pattern == ContentPattern::Explicit && file.size != 0 && file.size != file.content.size())
        return kit_error("'" + file.path + "' has explicit content and a different size");
    std::uint64_t left = size;
    do {
        const std::uint64_t piece = std::min(left, piece_limit);
        left -= piece;
        const bool last = left == 0;
        const std::uint8_t flags = static_cast<std::uint8_t>((last ? 0x00 : 0x80) | (file.hidden ? 0x01 : 0x00));
        planned.pieces.push_back(PlannedPiece{0, static_cast<std::uint32_t>(piece), flags, 0});
    } while (left > 0);
    return ok_status();
}

std::string identifier_of(const PlannedFile& file, const FileRecipe& recipe) {
    return recipe.no_version ? file.name : file.name + ";1";
}

// Record offsets inside each directory: "." and "..", then the children;
// a record that would cross a sector boundary starts the next sector.
void lay_out_records(const ImageRecipe& recipe, Plan& plan) {
    for (std::size_t d = 0; d < plan.directories.size(); ++d) {
        auto& dir = plan.directories[d];
        std::uint32_t cursor = 0;
        const auto place = [&](RecordRole role, std::size_t index, std::size_t piece, std::size_t id_length) {
            const std::uint32_t size = directory_record_size(id_length, has_xa_records(recipe.kind));
            if (cursor % kSectorSize + size > kSectorSize) cursor = (cursor / kSectorSize + 1) * kSectorSize;
            dir.records.push_back(PlannedRecord{role, index, piece, cursor});
            cursor += size;
        };
        place(RecordRole::Self, d, 0, 1);
        place(RecordRole::Parent, dir.parent, 0, 1);
        for (const auto& child : dir.children) {
            if (child.is_directory) {
                place(RecordRole::Directory, child.index, 0, plan.directories[child.index].name.size());
                continue;
            }
            const auto& file = plan.files[child.index];
            for (std::size_t p = 0; p < file.pieces.size(); ++p)
                place(RecordRole::FilePiece, child.index, p, file.identifier.size());
        }
        const auto used = static_cast<std::uint32_t>(sectors_to_hold(cursor));
        dir.sectors = std::max({used, recipe.min_directory_sectors, 1u});
    }
}

} // namespace

Expected<Plan> plan_tree(const ImageRecipe& recipe) {
    Plan plan;
    plan.kind = recipe.kind;
    TreeBuilder tree;
    for (const auto& extra : recipe.directories) {
        auto parts = split_iso_path(extra);
        if (!parts) return kit_error("directory path '" + extra + "' is not of the form \\NAME\\NAME");
        auto made = tree.directory(*parts, parts->size());
        if (!made) return made.error();
    }
    plan.files.resize(recipe.files.size());
    for (std::size_t i = 0; i < recipe.files.size(); ++i) {
        const auto& file = recipe.files[i];
        auto parts = split_iso_path(file.path);
        if (!parts) return kit_error("file path '" + file.path + "' is not of the form \\NAME\\FILE.EXT");
        if (auto added = tree.add_file(file.path, i, *parts); !added) return added.error();
        auto& planned = plan.files[i];
        planned.recipe_index = i;
        planned.name = parts->back();
        planned.identifier = identifier_of(planned, file);
        if (auto cut = cut_into_pieces(recipe, file, planned); !cut) return cut.error();
    }

    // Path table order: breadth first, children in record order.
    auto& nodes = tree.nodes();
    std::vector<std::size_t> order{0};
    std::vector<std::size_t> new_index(nodes.size(), 0);
    for (std::size_t i = 0; i < order.size(); ++i) {
        Node& node = nodes[order[i]];
        std::sort(node.subdirectories.begin(), node.subdirectories.end(),
                  [&](std::size_t a, std::size_t b) { return iso_name_less(nodes[a].name, nodes[b].name); });
        for (std::size_t sub : node.subdirectories) order.push_back(sub);
    }
    if (order.size() > 0xFFFF) return kit_error("more than 65535 directories do not fit the path table");
    for (std::size_t i = 0; i < order.size(); ++i) new_index[order[i]] = i;

    plan.directories.resize(order.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        const Node& node = nodes[order[i]];
        auto& dir = plan.directories[i];
        dir.name = node.name;
        dir.parent = new_index[node.parent];
        dir.path = i == 0 ? std::string() : plan.directories[dir.parent].path + "\\" + node.name;
        dir.subdirectories = static_cast<std::uint32_t>(node.subdirectories.size());
        for (std::size_t sub : node.subdirectories) dir.children.push_back(PlannedChild{true, new_index[sub]});
        for (std::size_t f : node.files) {
            dir.children.push_back(PlannedChild{false, f});
            plan.files[f].directory = i;
        }
        const auto name_of = [&](const PlannedChild& c) -> const std::string& {
            return c.is_directory ? nodes[order[c.index]].name : plan.files[c.index].name;
        };
        std::stable_sort(dir.children.begin(), dir.children.end(),
                         [&](const PlannedChild& a, const PlannedChild& b) { return iso_name_less(name_of(a), name_of(b)); });
    }
    lay_out_records(recipe, plan);
    return plan;
}

} // namespace isorelink::kit
